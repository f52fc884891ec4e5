// The main and about windows as a user meets them: the texts they show, Execute's check, the
// error box, where the about window opens, and closing with the folder texts saved.

#include "CopyWin.h"
#include "DopletApplication.h"
#include "UiTestSupport.h"
#include "main1.h"
#include "version1.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace doplet::test {
namespace {

class MainWindow : public testing::Test {
protected:
    void SetUp() override {
        ClearSettings();
        WriteFile(side1 / "a.txt", std::string(1000, 'a'));
        WriteFile(side1 / "sub/b.txt", std::string(234, 'b'));
        WriteFile(side2 / "c.txt", "c");
    }
    void TearDown() override { ClearSettings(); }

    TempDir side1;
    TempDir side2;
};

TEST_F(MainWindow, ShowsTheTextsAUserSees) {
    const QString notFound = QStringLiteral("フォルダがみつかりません");
    for (const bool stored : {false, true}) {
        if (stored) {
            StoreFolders(FolderText(side1.path()), FolderText(side2.path()));
        }
        const Program program;
        QWidget* main = program.main;
        QWidget* about = program.version;
        const struct {
            QWidget* window;
            const char* name; // nullptr: the window's title
            QString text;
        } rows[] = {
            {main, nullptr, "ファイル同期（Fmain1）"},
            {main, "Edit1", stored ? FolderText(side1.path()) : "フォルダ１"},
            {main, "Edit2", stored ? FolderText(side2.path()) : "フォルダ２"},
            {main, "LSize1", stored ? "1,234Byte" : "0Byte"},
            {main, "LSize2", stored ? "1Byte" : "0Byte"},
            {program.copyWin, nullptr, "FCopyWin"},
            {about, nullptr, "ﾊﾞｰｼﾞｮﾝ情報"},
            {about, "ProductName", "doplet(フリーウェア)"},
            {about, "Version", "Version  1.0"},
            {about, "Label4", "メール くらはーい ~＼(^o^)"},
        };
        for (const auto& row : rows) {
            EXPECT_EQ(row.name == nullptr ? row.window->windowTitle()
                                          : program.text(row.window, row.name),
                      row.text)
                << (row.name == nullptr ? "title" : row.name) << (stored ? ", stored" : "");
        }
        QStringList list1 = program.fileList(1);
        list1.sort();
        EXPECT_EQ(list1, (stored ? QStringList{"/a.txt", "/sub/b.txt"} : QStringList{notFound}));
        EXPECT_EQ(program.fileList(2), stored ? QStringList{"/c.txt"} : QStringList{notFound});
        const auto* label = Child<QWidget>(main, "LSize1"); // sized to its text
        EXPECT_EQ(label->size(), label->sizeHint());
        EXPECT_FALSE(program.copyWin->isVisible() || about->isVisible());
    }
    const struct {
        QString message, shown;
    } stops[] = {
        {"failed", "failed."}, {"done.", "done."}, {"what!", "what!"}, {"a/", "a/."}, {"", ""}};
    for (const auto& row : stops) { // the full stop of the error box: not after one or below it
        EXPECT_EQ(WithFullStop(row.message), row.shown) << row.message.toStdString();
    }
    EXPECT_EQ(ProgramTitle("C:/Tools/DOPLET.EXE"), QStringLiteral("Doplet"));
    EXPECT_EQ(ProgramTitle("/opt/my.prog.v2"), QStringLiteral("my"));
}

TEST_F(MainWindow, ExecuteNamesOnlyTheFirstInvalidFolderAndFailuresShowInTheErrorBox) {
    const Program program;
    {
        const ModalAnswer box(QMessageBox::Ok);
        program.click(program.main, "BitBtn1");
        ASSERT_TRUE(box.wait());
        EXPECT_EQ(box.caption(), QStringLiteral("エラー"));
        EXPECT_EQ(box.text(), QStringLiteral("フォルダー１が有効ではありません"));
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        EXPECT_TRUE(box.applicationModal());
    }
    const ModalAnswer second(QMessageBox::Ok);
    QTest::qWait(200);
    EXPECT_FALSE(second.answered()); // one box for two invalid folders
    Child<QLineEdit>(program.main, "Edit1")->setText(FolderText(side1.path()));
    program.click(program.main, "BitBtn1");
    ASSERT_TRUE(second.wait());
    EXPECT_EQ(second.text(), QStringLiteral("フォルダー２が有効ではありません"));
    EXPECT_FALSE(program.copyWin->isVisible());

    const ModalAnswer error(QMessageBox::Ok);
    EXPECT_FALSE(RunOperation([] { throw std::runtime_error("ｷｰ  の作成に失敗しました"); }));
    ASSERT_TRUE(error.answered());
    EXPECT_EQ(error.caption(), ProgramTitle(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(error.text(), QStringLiteral("ｷｰ  の作成に失敗しました."));
    EXPECT_EQ(error.icon(), QMessageBox::Critical);
}

TEST_F(MainWindow, AStoredValueOfTheWrongTypeIsReportedAndTheWindowStillOpens) {
    StoreValue("CODE1", FolderText(side1.path()));
    StoreValue("CODE2", QByteArray("\x05", 1));
    const ModalAnswer box(QMessageBox::Ok);
    const Program program;
    ASSERT_TRUE(box.answered());
    EXPECT_EQ(box.text(), QStringLiteral("'CODE2' のﾃﾞｰﾀ型が不正です."));
    EXPECT_TRUE(program.main->isVisible());
    EXPECT_EQ(program.text(program.main, "Edit1"), FolderText(side1.path()));
    EXPECT_EQ(program.text(program.main, "LSize1"), QStringLiteral("sss")); // nothing listed
}

TEST_F(MainWindow, AFailedSaveKeepsTheWindowOpenAndExitSavesTheBoxTexts) {
    const Program program;
    QFile blocker(SettingsFile().section(u'/', 0, -2)); // a file where the store's folder goes
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        const ModalAnswer box(QMessageBox::Ok);
        program.click(program.main, "BitBtn3");
        ASSERT_TRUE(box.wait());
        EXPECT_EQ(box.text(), QStringLiteral("ｷｰ  の作成に失敗しました."));
    }
    EXPECT_TRUE(program.main->isVisible());
    QFile::remove(blocker.fileName());
    Child<QLineEdit>(program.main, "Edit2")->setText(QStringLiteral("  typed "));
    program.main->close(); // the frame's close box
    EXPECT_FALSE(program.main->isVisible());
    EXPECT_EQ(StoredFolder("CODE1"), QStringLiteral("フォルダ１"));
    EXPECT_EQ(StoredFolder("CODE2"), QStringLiteral("  typed "));
}

TEST_F(MainWindow, TheAboutWindowOpensCentredThenWhereItWasLeft) {
    const Program program;
    QWidget* about = program.version;
    const auto showAbout = [&] { // "情報" from the context menu
        auto* menu = Child<QMenu>(program.main, "PopupMenu1");
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(300, 20),
                                program.main->mapToGlobal(QPoint(300, 20)));
        QCoreApplication::sendEvent(program.main, &event);
        ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }));
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(Child<QAction>(program.main, "N1")).center());
        ASSERT_TRUE(WaitFor([about] { return about->isVisible(); }));
    };
    showAbout();
    const QRect screen = about->screen()->geometry();
    const QSize outer = about->frameGeometry().size();
    EXPECT_EQ(about->frameGeometry().topLeft(),
              QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2));
    about->move(17, 23);
    about->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(about));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTest::qWait(50);
    EXPECT_TRUE(about->isVisible()); // Escape does nothing, Enter closes
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(WaitFor([about] { return !about->isVisible(); }));
    showAbout();
    EXPECT_EQ(about->pos(), QPoint(17, 23));
}

} // namespace
} // namespace doplet::test
