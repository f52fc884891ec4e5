// The copy window running real passes over real folders: the log, the abort question answered
// both ways, closing and showing the window while a pass runs, and ending the program during a
// pass. A gate in the file system holds the worker inside a chosen copy.

#include "CopyWin.h"
#include "DopletApplication.h"
#include "UiTestSupport.h"
#include "main1.h"

#include <QAbstractButton>
#include <QListView>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace doplet::test {
namespace {

class CopyWindow : public testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }

    // Stores both folders, so that the program starts with them listed.
    void useFolders() { StoreFolders(FolderText(side1.path()), FolderText(side2.path())); }

    // The success line of a copy of `entry` ("/a.txt") from side `from` to the other side.
    [[nodiscard]] QString copied(const QString& entry, int from = 1) const {
        const QString one = QString::fromStdString(side1.path()) + entry;
        const QString two = QString::fromStdString(side2.path()) + entry;
        return from == 1 ? one + QStringLiteral("->") + two : two + QStringLiteral("->") + one;
    }

    // Five files on side 1 only; the log lines of a pass over them follow folder 1's list.
    void fiveFiles() {
        for (int i = 1; i <= 5; ++i) {
            WriteFile(side1 / ("f" + std::to_string(i) + ".txt"), std::string(100, char('0' + i)));
        }
        useFolders();
    }
    [[nodiscard]] QStringList expectedLines(const Program& program, int count) const {
        QStringList lines;
        for (const QString& entry : program.fileList(1).mid(0, count)) {
            lines << copied(entry);
        }
        return lines;
    }

    static QString caption(const Program& program) {
        return program.text(program.copyWin, "BitBtn1");
    }

    TempDir side1;
    TempDir side2;
};

TEST_F(CopyWindow, ACompletePassLogsEveryCopyAndFailureThenTheButtonCloses) {
    WriteFile(side1 / "a.txt", "only on side 1");
    WriteFile(side1 / "d.txt", "older", {kBaseTime, 0});
    WriteFile(side2 / "d.txt", "newer", {kBaseTime + 60, 0});
    WriteFile(side1 / "sub", "a file on side 1, a folder on side 2");
    WriteFile(side2 / "sub/e.txt", "cannot go below a file");
    useFolders();
    const Program program;
    program.execute();
    EXPECT_EQ(program.copyWin->windowTitle(), QStringLiteral("FCopyWin"));
    ASSERT_TRUE(program.waitDone());
    EXPECT_EQ(caption(program), QStringLiteral("完了"));

    const QStringList log = program.log();
    ASSERT_EQ(log.size(), 4) << log.join(u'\n').toStdString();
    EXPECT_EQ(log.count(copied("/a.txt")), 1);
    EXPECT_EQ(log.count(copied("/d.txt", 2)), 1);
    const QString failed = QStringLiteral("失敗しました Error－\\d+$");
    EXPECT_EQ(
        log
            .filter(QRegularExpression(
                "^" + QRegularExpression::escape(QString::fromStdString(side1 / "sub")) + failed))
            .size(),
        1);
    // Sweep 2 comes last: its failure is the last line, and it did not move the selection from
    // the last success line.
    EXPECT_TRUE(log.last().contains(QRegularExpression(
        "^" + QRegularExpression::escape(QString::fromStdString(side2 / "sub/e.txt")) + failed)));
    const auto* view = Child<QListView>(program.copyWin, "ListBox1");
    int lastSuccess = -1;
    for (int row = 0; row < log.size(); ++row) {
        lastSuccess = log[row].contains(QStringLiteral("->")) ? row : lastSuccess;
    }
    EXPECT_EQ(view->currentIndex().row(), lastSuccess);
    EXPECT_EQ(ReadFile(side2 / "a.txt"), "only on side 1");
    EXPECT_EQ(ReadFile(side1 / "d.txt"), "newer");

    // "完了" hides the window with its log; Execute shows it again with a new pass.
    program.click(program.copyWin, "BitBtn1");
    EXPECT_FALSE(program.copyWin->isVisible());
    EXPECT_EQ(program.log().size(), 4);
    program.execute();
    ASSERT_TRUE(program.waitDone());
    EXPECT_EQ(program.log().size(), 2); // only the two failures are left
    EXPECT_EQ(program.log().filter(QStringLiteral("->")).size(), 0);
}

TEST_F(CopyWindow, NonUtf8NamesAreSynchronisedByTheirBytes) {
    const std::string name = "/\xff\xfe-\xe5\x90\x8d.txt";
    WriteFile(side1 / name, "bytes, not text");
    useFolders();
    const Program program;
    program.execute();
    ASSERT_TRUE(program.waitDone());
    EXPECT_EQ(program.log().size(), 1);
    EXPECT_EQ(ReadFile(side2 / name), "bytes, not text");
}

TEST_F(CopyWindow, AbortAnsweredOkStopsAfterTheFileInHand) {
    fiveFiles();
    const Program program;
    CopyGate gate(*program.fs);
    gate.allow(2);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(3)); // the worker is inside the third copy
    ASSERT_TRUE(WaitFor([&] { return program.log().size() == 2; }));

    int linesWhileAsking = -1;
    const ModalAnswer question([&](QWidget* box) {
        // The held worker finishes its copy, but its line waits for the answer.
        gate.allow(1);
        ASSERT_TRUE(gate.waitEnded(3));
        QTest::qWait(100);
        linesWhileAsking = static_cast<int>(program.log().size());
        QTest::mouseClick(qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok), Qt::LeftButton);
    });
    program.click(program.copyWin, "BitBtn1");
    ASSERT_TRUE(question.wait());
    EXPECT_EQ(question.caption(), QStringLiteral("確認"));
    EXPECT_EQ(question.text(), QStringLiteral("コピーを中止しますか？"));
    EXPECT_EQ(question.icon(), QMessageBox::NoIcon);
    EXPECT_EQ(linesWhileAsking, 2);
    EXPECT_FALSE(program.copyWin->isVisible()); // hidden at once

    gate.allowAll();
    ASSERT_TRUE(WaitFor([&] { return !program.copyWin->passRunning(); }));
    EXPECT_EQ(program.log(), expectedLines(program, 3)); // the third line went into the hidden log
    EXPECT_EQ(gate.started(), 3);                        // and no further file was copied
    EXPECT_EQ(caption(program), QStringLiteral("中止"));
    EXPECT_FALSE(program.copyWin->done());
}

TEST_F(CopyWindow, AbortAnsweredCancelGoesOnLosingAndRepeatingNothing) {
    fiveFiles();
    const Program program;
    CopyGate gate(*program.fs);
    gate.allow(2);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(3));

    const ModalAnswer question([&](QWidget* box) {
        gate.allow(1);
        ASSERT_TRUE(gate.waitEnded(3));
        QTest::qWait(50);
        QTest::keyClick(box, Qt::Key_Escape); // Escape means go on
    });
    program.click(program.copyWin, "BitBtn1");
    ASSERT_TRUE(question.wait());
    EXPECT_TRUE(program.copyWin->isVisible());

    gate.allowAll();
    ASSERT_TRUE(program.waitDone());
    EXPECT_EQ(program.log(), expectedLines(program, 5));
    EXPECT_EQ(gate.started(), 5);
    for (int i = 1; i <= 5; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        EXPECT_EQ(ReadFile(side2 / name), std::string(100, char('0' + i)));
    }
}

TEST_F(CopyWindow, ClosingTheWindowDuringAPassOnlyHidesIt) {
    fiveFiles();
    const Program program;
    CopyGate gate(*program.fs);
    gate.allow(1);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(2));
    program.copyWin->close();
    EXPECT_FALSE(program.copyWin->isVisible());
    EXPECT_TRUE(program.main->isVisible());

    gate.allowAll();
    ASSERT_TRUE(program.waitDone());
    EXPECT_FALSE(program.copyWin->isVisible());
    EXPECT_EQ(caption(program), QStringLiteral("完了"));
    EXPECT_EQ(program.log(), expectedLines(program, 5));
}

TEST_F(CopyWindow, ExecuteDuringAPassStartsNoSecondOne) {
    fiveFiles();
    const Program program;
    CopyGate gate(*program.fs);
    gate.allow(1);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(2));
    ASSERT_TRUE(WaitFor([&] { return program.log().size() == 1; }));
    const std::shared_ptr<WorkerControl> worker = program.copyWin->worker();

    // Visible: only brought to the front.
    program.click(program.main, "BitBtn1");
    QTest::qWait(50);
    EXPECT_EQ(program.copyWin->worker(), worker);
    EXPECT_EQ(program.log().size(), 1);

    // Hidden by its close box while the pass runs: shows again with that pass's log.
    program.copyWin->close();
    program.execute();
    EXPECT_EQ(program.copyWin->worker(), worker);
    EXPECT_EQ(program.log().size(), 1);

    gate.allowAll();
    ASSERT_TRUE(program.waitDone());
    EXPECT_EQ(program.log(), expectedLines(program, 5));

    // Done and visible: Execute starts nothing either.
    program.click(program.main, "BitBtn1");
    QTest::qWait(50);
    EXPECT_EQ(program.copyWin->worker(), worker);
    EXPECT_EQ(program.log().size(), 5);
}

TEST_F(CopyWindow, ExecuteWhileAnAbortedPassFinishesStartsTheNewOneAfterIt) {
    fiveFiles();
    const Program program;
    CopyGate gate(*program.fs);
    gate.allow(1);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(2));
    const std::shared_ptr<WorkerControl> first = program.copyWin->worker();
    const ModalAnswer question(QMessageBox::Ok);
    program.click(program.copyWin, "BitBtn1");
    ASSERT_TRUE(question.wait());
    ASSERT_FALSE(program.copyWin->isVisible());

    // The aborted worker is still inside its copy: the window shows at once, empty.
    program.execute();
    EXPECT_EQ(program.copyWin->worker(), first);
    EXPECT_TRUE(program.log().isEmpty());
    EXPECT_EQ(gate.started(), 2);

    gate.allowAll();
    ASSERT_TRUE(program.waitDone());
    EXPECT_NE(program.copyWin->worker(), first);
    // The new pass copied the three files the first one left; its log holds only its lines.
    const QStringList lines = expectedLines(program, 5);
    EXPECT_EQ(program.log(), lines.mid(2));
    EXPECT_EQ(gate.started(), 5);
}

TEST_F(CopyWindow, ClosingTheProgramDuringAPassEndsAfterTheCurrentFile) {
    fiveFiles();
    const Program program;
    CopyGate gate(*program.fs);
    gate.allow(1);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(2));

    program.click(program.main, "BitBtn3");
    EXPECT_TRUE(program.main->isVisible()); // not in the middle of a copy
    EXPECT_EQ(StoredFolder("CODE1"), FolderText(side1.path()));
    ClearSettings(); // what is stored from here on is the closing save
    ASSERT_FALSE(StoredFolder("CODE1"));

    gate.allowAll();
    ASSERT_TRUE(WaitFor([&] { return !program.main->isVisible(); }));
    EXPECT_EQ(gate.started(), 2);
    EXPECT_EQ(program.log(), expectedLines(program, 2));
    EXPECT_EQ(StoredFolder("CODE1"), FolderText(side1.path()));
    EXPECT_EQ(StoredFolder("CODE2"), FolderText(side2.path()));
}

TEST_F(CopyWindow, AFailureEscapingThePassEndsTheProgramWithoutSaving) {
    WriteFile(side1 / "a.txt", "a");
    useFolders();
    const Program program;
    program.fs->beforeCopy([](std::string_view, std::string_view) {
        throw std::runtime_error("ディスクが壊れました");
    });
    int exitCode = -1;
    DopletApplication::instance()->setFatalExit([&exitCode](int code) { exitCode = code; });
    ClearSettings();

    const ModalAnswer box(QMessageBox::Ok);
    program.execute();
    ASSERT_TRUE(box.wait());
    EXPECT_EQ(box.caption(), QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ"));
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    EXPECT_TRUE(box.text().contains(QRegularExpression(
        QStringLiteral("^std::runtime_errorがﾓｼﾞｭｰﾙ test_CopyWin の [0-9A-F]+ で発生しました。\n"
                       "ディスクが壊れました\\.$"))))
        << box.text().toStdString();
    EXPECT_EQ(exitCode, 1);
    EXPECT_FALSE(StoredFolder("CODE1"));
    DopletApplication::instance()->setFatalExit([](int code) { QCoreApplication::exit(code); });
}

TEST_F(CopyWindow, TwoEmptyListsCompleteAtOnce) {
    TempDir empty1;
    TempDir empty2;
    StoreFolders(FolderText(empty1.path()), FolderText(empty2.path()));
    const Program program;
    program.execute();
    ASSERT_TRUE(program.waitDone());
    EXPECT_TRUE(program.log().isEmpty());
    program.click(program.copyWin, "BitBtn1");
    EXPECT_FALSE(program.copyWin->isVisible());
}

} // namespace
} // namespace doplet::test
