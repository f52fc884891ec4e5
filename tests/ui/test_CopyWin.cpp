// The copy window running real passes: its button through a pass, the log and its selection,
// the abort question answered both ways while the worker waits, closing the program during a
// pass, and a failure escaping the pass. A gate in the file system holds the worker in a copy.

#include "DopletApplication.h"
#include "UiTestSupport.h"

#include <QRegularExpression>
#include <filesystem>
#include <stdexcept>

namespace doplet::test {
namespace {

// Five files on side 1 only, both folders stored so that the program starts with them.
class CopyWindow : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        for (int i = 1; i <= 5; ++i)
            WriteFile(side1 / ("f" + std::to_string(i)), std::string(100, char('0' + i)));
        StoreFolders(side1.path(), side2.path());
    }
    // The success lines of the first `count` entries of folder 1's list.
    [[nodiscard]] QStringList copied(const Program& program, int count) const {
        QStringList lines;
        for (const QString& entry : Program::lines(program.main, "FileListBox1").mid(0, count))
            lines << QString::fromStdString(side1.path()) + entry + "->" +
                         QString::fromStdString(side2.path()) + entry;
        return lines;
    }
    static QString caption(const Program& program) {
        return Program::text(program.copyWin, "BitBtn1");
    }
};

TEST_F(CopyWindow, TheButtonReadsAbortDuringAPassAndDoneAfterItThenHidesTheWindow) {
    WriteFile(side2 / "f1/x", "a folder where side 1 has a file"); // fails in sweep 2
    const Program program;
    CopyGate gate(*program.fs);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(1));
    EXPECT_EQ(caption(program), QStringLiteral("中止"));
    EXPECT_FALSE(program.copyWin->done());
    gate.allow(100);
    ASSERT_TRUE(WaitFor([&] { return program.copyWin->done(); }));
    EXPECT_EQ(caption(program), QStringLiteral("完了"));
    QStringList log = program.log();
    ASSERT_EQ(log.size(), 6);
    EXPECT_TRUE(
        log.takeFirst().startsWith(QString::fromStdString(side1 / "f1") + "失敗しました Error－"));
    EXPECT_TRUE(
        log.takeLast().startsWith(QString::fromStdString(side2 / "f1/x") + "失敗しました Error－"));
    EXPECT_EQ(log, copied(program, 5).mid(1));
    // A failure does not move the selection from the last success line.
    EXPECT_EQ(Child<QListView>(program.copyWin, "ListBox1")->currentIndex().row(), 4);
    program.click(program.copyWin, "BitBtn1");
    EXPECT_FALSE(program.copyWin->isVisible());
    program.execute(); // a new pass, a new log
    ASSERT_TRUE(WaitFor([&] { return program.copyWin->done(); }));
    EXPECT_EQ(program.log().size(), 2);
}

TEST_F(CopyWindow, TheWorkerWaitsWhileTheAbortQuestionIsOpen) {
    for (const bool abort : {true, false}) {
        SCOPED_TRACE(abort ? "OK" : "Cancel");
        const Program program;
        CopyGate gate(*program.fs);
        gate.allow(2);
        program.execute();
        ASSERT_TRUE(gate.waitStarted(3)); // the worker is inside the third copy
        ASSERT_TRUE(WaitFor([&] { return program.log().size() == 2; }));
        qsizetype linesWhileAsking = -1;
        const ModalAnswer question([&](QWidget* box) {
            gate.allow(1); // the held worker finishes its copy; its line waits for the answer
            ASSERT_TRUE(gate.waitEnded(3));
            QTest::qWait(100);
            linesWhileAsking = program.log().size();
            QTest::mouseClick(qobject_cast<QMessageBox*>(box)->button(abort ? QMessageBox::Ok
                                                                            : QMessageBox::Cancel),
                              Qt::LeftButton);
        });
        program.click(program.copyWin, "BitBtn1");
        ASSERT_TRUE(question.wait());
        EXPECT_EQ(question.caption + question.text, QStringLiteral("確認コピーを中止しますか？"));
        EXPECT_EQ(linesWhileAsking, 2);
        EXPECT_EQ(program.copyWin->isVisible(), !abort);
        gate.allow(100);
        ASSERT_TRUE(WaitFor([&] { return !program.copyWin->passRunning(); }));
        EXPECT_EQ(program.log(), copied(program, abort ? 3 : 5)); // nothing lost, nothing twice
        EXPECT_EQ(gate.started(), abort ? 3 : 5);
        EXPECT_EQ(caption(program), abort ? QStringLiteral("中止") : QStringLiteral("完了"));
        std::filesystem::remove_all(side2.path());
        std::filesystem::create_directory(side2.path());
    }
}

TEST_F(CopyWindow, ClosingTheProgramDuringAPassEndsItAfterTheCurrentFileAndSaves) {
    const Program program;
    CopyGate gate(*program.fs);
    gate.allow(1);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(2));
    program.click(program.main, "BitBtn3");
    EXPECT_TRUE(program.main->isVisible()); // not in the middle of a copy
    UiTest::SetUp();                        // what is stored from here on is the closing save
    gate.allow(100);
    ASSERT_TRUE(WaitFor([&] { return !program.main->isVisible(); }));
    EXPECT_EQ(gate.started(), 2);
    EXPECT_EQ(program.log(), copied(program, 2));
    EXPECT_EQ(Stored("CODE2"), FolderText(side2.path()));
}

TEST_F(CopyWindow, AFailureEscapingThePassEndsTheProgramWithoutSaving) {
    const Program program;
    program.fs->beforeCopy([](std::string_view, std::string_view) {
        throw std::runtime_error("ディスクが壊れました");
    });
    int exitCode = -1;
    DopletApplication::instance()->setFatalExit([&exitCode](int code) { exitCode = code; });
    UiTest::SetUp();
    const ModalAnswer box;
    program.execute();
    ASSERT_TRUE(box.wait());
    EXPECT_EQ(box.caption, QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ"));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_TRUE(box.text.contains(
        QRegularExpression("^std::runtime_errorがﾓｼﾞｭｰﾙ test_ui の "
                           "[0-9A-F]+ で発生しました。\nディスクが壊れました\\.$")))
        << box.text.toStdString();
    EXPECT_EQ(exitCode, 1);
    EXPECT_FALSE(Stored("CODE1").isValid());
    DopletApplication::instance()->setFatalExit([](int code) { QCoreApplication::exit(code); });
}

} // namespace
} // namespace doplet::test
