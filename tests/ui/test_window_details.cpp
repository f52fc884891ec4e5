// The windows' finer points: which control has the keyboard, where frames go when the fixed places
// do not fit the screen, and the log's failure colours and context menu.

#include "Placement.h"
#include "UiTestSupport.h"

#include <QClipboard>
#include <QFileDialog>
#include <QScreen>

namespace doplet::test {
namespace {

// Two folders whose pass makes two copies and fails twice ("sub" is a file on side 1 and a folder
// on side 2).
class WindowDetails : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        WriteFile(side1 / "a.txt", "a");
        WriteFile(side1 / "b.txt", "b");
        WriteFile(side1 / "sub", "a file");
        WriteFile(side2 / "sub/e.txt", "below a folder");
        StoreFolders(side1.path(), side2.path());
    }
};

// How many pixels of the image pass the test.
int CountPixels(const QImage& image, const std::function<bool(const QColor&)>& test) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += test(image.pixelColor(x, y)) ? 1 : 0;
    }
    return count;
}

TEST_F(WindowDetails, TheCopyButtonHasTheKeyboardOnEveryShowing) {
    const Program program;
    CopyGate gate(*program.fs); // each showing's pass is held inside a copy
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        SCOPED_TRACE(key);
        program.execute();
        ASSERT_TRUE(QTest::qWaitForWindowActive(program.copyWin));
        EXPECT_EQ(QApplication::focusWidget(), Child<QWidget>(program.copyWin, "BitBtn1"));
        const ModalAnswer question;
        QTest::keyClick(QApplication::focusWidget(), key);
        ASSERT_TRUE(question.wait(5'000));
        EXPECT_EQ(question.text, QStringLiteral("コピーを中止しますか？"));
        gate.allow(1); // the copy in hand ends, then the aborted pass
        ASSERT_TRUE(WaitFor([&] { return !program.copyWin->passRunning(); }));
    }
    // On the offscreen platform's 800 x 600 screen the main window's fixed place leaves its right
    // part off the screen, the copy window's does not.
    const QRect available = program.main->screen()->availableGeometry();
    const QRect main = program.main->frameGeometry();
    EXPECT_TRUE(available.contains(main));
    EXPECT_EQ(main.topLeft(), QPoint(available.right() + 1 - main.width(), 133));
    EXPECT_EQ(program.copyWin->frameGeometry().topLeft(), QPoint(298, 199));
}

TEST(Placement, AFrameKeepsItsPlaceWhereItFitsElseMovesTheLeastOntoTheScreen) {
    const struct {
        QRect frame, available;
        QPoint expected;
    } rows[] = {
        {{540, 412, 100, 100}, {0, 0, 640, 512}, {540, 412}},        // fits, touching the far edges
        {{344, 133, 634, 445}, {0, 0, 640, 512}, {6, 67}},           // past right and bottom
        {{-50, -20, 100, 100}, {0, 30, 640, 482}, {0, 30}},          // past left, under a top panel
        {{100, 100, 700, 600}, {0, 0, 640, 512}, {0, 0}},            // larger than the screen
        {{2100, 700, 300, 200}, {1280, 30, 1024, 738}, {2004, 568}}, // on a second screen
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FitOnScreen(row.frame, row.available), row.expected) << "row " << &row - rows;
    }
}

TEST_F(WindowDetails, FailureLinesAreRedAndTheLogCanBeCopiedAndSaved) {
    const Program program;
    program.execute();
    ASSERT_TRUE(WaitFor([&] { return program.copyWin->done(); }));
    auto* view = Child<QListView>(program.copyWin, "ListBox1");
    const QStringList lines = program.log();
    ASSERT_EQ(lines.size(), 4);
    const auto red = [](const QColor& c) { return c.red() - std::max(c.green(), c.blue()) > 80; };
    for (const bool selected : {false, true}) {
        for (int row = 0; row < lines.size(); ++row) {
            SCOPED_TRACE(lines[row].toStdString() + (selected ? " (selected)" : ""));
            const QModelIndex index = view->model()->index(row, 0);
            view->setCurrentIndex(selected ? index : QModelIndex());
            const QImage line = view->viewport()->grab(view->visualRect(index)).toImage();
            const bool failed = !lines[row].contains(QStringLiteral("->"));
            EXPECT_EQ(CountPixels(line, red) > 0, failed); // red text, none on a success line
            if (selected && failed) {                      // light text on a red background
                EXPECT_GT(CountPixels(line, red), line.width() * line.height() / 2);
                EXPECT_GT(CountPixels(line, [](QColor c) { return c.lightness() > 230; }), 0);
            }
        }
    }

    // All lines to the clipboard or into a UTF-8 file; a save that fails is reported.
    const struct {
        const char* action;
        QString caption;
        std::string file;
        bool done;
    } rows[] = {{"CopyAll", QStringLiteral("すべてコピー"), "", true},
                {"SaveLog", QStringLiteral("ログを保存..."), side2 / "log.txt", true},
                {"SaveLog", QStringLiteral("ログを保存..."), side1 / "a.txt/log.txt", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.action + (" " + row.file));
        std::optional<ModalAnswer> error;
        const ModalAnswer dialog([&](QWidget* window) {
            if (!row.done) {
                error.emplace();
            }
            auto* fileDialog = qobject_cast<QFileDialog*>(window);
            fileDialog->selectFile(QString::fromStdString(row.file));
            static_cast<QDialog*>(fileDialog)->accept(); // its checks run, as on its button
        });
        EXPECT_EQ(ChooseFromContextMenu(program.copyWin, view->viewport(), "LogMenu", row.action),
                  row.caption);
        EXPECT_TRUE(row.file.empty() || dialog.wait());
        EXPECT_TRUE(!error || (error->wait() && error->icon == QMessageBox::Critical));
        const QString result = row.file.empty()
                                   ? QApplication::clipboard()->text()
                                   : QString::fromStdString(ReadFile(row.file).value_or(""));
        EXPECT_EQ(result, row.done ? lines.join(u'\n') + u'\n' : QString());
    }
}

} // namespace
} // namespace doplet::test
