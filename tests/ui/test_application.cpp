// The application's edge: the program title, the error box with its full stop, and the model
// behind the file lists.

#include "DopletApplication.h"
#include "FileListModel.h"
#include "UiTestSupport.h"

#include <QListView>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace doplet::test {
namespace {

TEST(Application, TheProgramTitleComesFromTheProgramFile) {
    EXPECT_EQ(ProgramTitle(QStringLiteral("/usr/bin/doplet")), QStringLiteral("doplet"));
    EXPECT_EQ(ProgramTitle(QStringLiteral("C:/Tools/DOPLET.EXE")), QStringLiteral("Doplet"));
    EXPECT_EQ(ProgramTitle(QStringLiteral("/opt/my.prog.v2")), QStringLiteral("my"));
    EXPECT_EQ(ProgramTitle(QStringLiteral("ＤＯＰＬＥＴ")), QStringLiteral("Ｄｏｐｌｅｔ"));
}

TEST(Application, AFullStopIsAppendedUnlessTheMessageEndsInOneOrBelowIt) {
    EXPECT_EQ(WithFullStop(QStringLiteral("failed")), QStringLiteral("failed."));
    EXPECT_EQ(WithFullStop(QStringLiteral("失敗しました")), QStringLiteral("失敗しました."));
    EXPECT_EQ(WithFullStop(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(WithFullStop(QStringLiteral("what!")), QStringLiteral("what!")); // '!' < '.'
    EXPECT_EQ(WithFullStop(QStringLiteral("a-")), QStringLiteral("a-"));       // '-' < '.'
    EXPECT_EQ(WithFullStop(QStringLiteral("a/")), QStringLiteral("a/."));      // '/' > '.'
    EXPECT_EQ(WithFullStop(QString()), QString());
}

TEST(Application, AFailureInAnOperationEndsItAndShowsTheErrorBox) {
    bool after = false;
    const ModalAnswer box(QMessageBox::Ok);
    const bool completed = RunOperation([&] {
        throw std::runtime_error("ｷｰ  の作成に失敗しました");
        after = true; // NOLINT: never reached
    });
    EXPECT_FALSE(completed);
    EXPECT_FALSE(after);
    ASSERT_TRUE(box.answered());
    EXPECT_EQ(box.caption(), ProgramTitle(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(box.text(), QStringLiteral("ｷｰ  の作成に失敗しました."));
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    EXPECT_TRUE(box.applicationModal());
    // The program goes on.
    EXPECT_TRUE(RunOperation([] {}));
}

TEST(Application, AFileListSwapsWithoutDisturbingAPassThatHoldsTheOldOne) {
    FileListModel model(1, 13);
    auto first = std::make_shared<FileList>(1);
    first->appendLine("/a.txt");
    model.setList(first);
    std::shared_ptr<const FileList> held = model.list(); // as a pass takes it
    auto second = std::make_shared<FileList>(1);
    second->appendLine("/b.txt");
    second->appendLine("/\xff.txt");
    model.setList(second);
    EXPECT_EQ(held->size(), 1U);
    EXPECT_EQ(held->at(0), "/a.txt");
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(1).data().toString(), QStringLiteral("/\uFFFD.txt")); // display only
    EXPECT_EQ(model.list()->at(1), "/\xff.txt");
}

TEST(Application, AMillionEntriesListAndScrollInAView) {
    auto list = std::make_shared<FileList>(1);
    list->reserve(1'000'000, 20'000'000);
    for (int i = 0; i < 1'000'000; ++i) {
        list->appendLine("/folder/file" + std::to_string(i) + ".txt");
    }
    FileListModel model(1, 13);
    QListView view;
    view.setUniformItemSizes(true);
    view.resize(185, 209);
    view.setModel(&model);
    view.show();
    model.setList(list);
    const QModelIndex last = model.index(999'999);
    EXPECT_TRUE(WaitFor([&] {
        view.scrollToBottom(); // once the view has laid the rows out
        return view.viewport()->rect().contains(view.visualRect(last));
    }));
    EXPECT_EQ(view.indexAt(view.visualRect(last).center()).data().toString(),
              QStringLiteral("/folder/file999999.txt"));
}

} // namespace
} // namespace doplet::test
