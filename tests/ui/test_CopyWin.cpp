// The copy window running real passes: its button through a pass and its keyboard focus, the log,
// its selection, colours and context menu (and where a log may be saved), the abort question
// answered both ways while the worker waits, closing the program during a pass, a failure escaping
// the pass, and where the frames go. A gate in the file system holds the worker in a copy.

#include "DopletApplication.h"
#include "UiTestSupport.h"

#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <filesystem>
#include <stdexcept>

namespace doplet::test {
namespace {

// Five files on side 1 only, both folders stored so that the program starts with them.
struct CopyWindow : UiTest {
    void SetUp() override {
        UiTest::SetUp();
        for (int i = 1; i <= 5; ++i)
            WriteFile(side1 / ("f" + std::to_string(i)), std::string(100, char('0' + i)));
        StoreValue("CODE1", FolderText(side1.path()));
        StoreValue("CODE2", FolderText(side2.path()));
    }
    // The turn of a copy at a CopyGate: n for "/fn", as folder 1 lists them.
    static int turnOf(std::string_view entry) { return entry.back() - '0'; }
    // The success lines of the first `count` entries of folder 1's list.
    [[nodiscard]] QStringList copied(const Program& program, int count) const {
        QStringList lines;
        for (const QString& entry : Program::lines(program.main, "FileListBox1").mid(0, count))
            lines << QString::fromStdString(side1.path()) + entry + "->" +
                         QString::fromStdString(side2.path()) + entry;
        return lines;
    }
};

TEST_F(CopyWindow, TheButtonThroughAPassAndTheLogItsSelectionColoursAndMenu) {
    WriteFile(side2 / "f1/x", "a folder where side 1 has a file"); // fails in sweep 2
    const Program program;
    CopyGate gate(*program.fs);
    program.execute();
    ASSERT_TRUE(gate.waitStarted(1));
    EXPECT_EQ(Program::text(program.copyWin, "BitBtn1"), QStringLiteral("中止"));
    gate.allow(100);
    ASSERT_TRUE(WaitFor([&] { return program.copyWin->done(); }));
    EXPECT_EQ(Program::text(program.copyWin, "BitBtn1"), QStringLiteral("完了"));
    const QStringList lines = program.log();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.mid(1, 4), copied(program, 5).mid(1));
    // A failure does not move the selection from the last success line.
    auto* view = Child<QListView>(program.copyWin, "ListBox1");
    EXPECT_EQ(view->currentIndex().row(), 4);
    const auto count = [](const QImage& image, auto test) { // pixels that pass the test
        int n = 0;
        for (int i = 0; i < image.width() * image.height(); ++i)
            n += test(image.pixelColor(i % image.width(), i / image.width())) ? 1 : 0;
        return n;
    };
    const auto red = [](const QColor& c) { return c.red() - std::max(c.green(), c.blue()) > 80; };
    for (const bool selected : {false, true})
        for (int row = 0; row < lines.size(); ++row) {
            SCOPED_TRACE(lines[row].toStdString() + (selected ? " (selected)" : ""));
            const QModelIndex index = view->model()->index(row, 0);
            view->setCurrentIndex(selected ? index : QModelIndex());
            const QImage line = view->viewport()->grab(view->visualRect(index)).toImage();
            const bool failed = !lines[row].contains(QStringLiteral("->"));
            EXPECT_EQ(count(line, red) > 0, failed); // red text, none on a success line
            if (selected && failed) {                // light text on a red background
                EXPECT_GT(count(line, red), line.width() * line.height() / 2);
                EXPECT_GT(count(line, [](QColor c) { return c.lightness() > 230; }), 0);
            }
        }

    // All lines to the clipboard or into a UTF-8 file; a save that fails is reported. The save
    // dialog opens in the documents folder, or, when that and home lie inside a folder of the
    // pass, in the temporary folder, with a dated name. A name inside either folder, here through
    // a link, is refused and the dialog asked again (and cancelled).
    const TempDir elsewhere;
    const std::string documents = elsewhere.makeFolder("Documents");
    side1.makeFolder("Documents");
    std::filesystem::create_directory_symlink(side2.path(), elsewhere / "to2");
    WriteFile(elsewhere / "file", "");
    const QString temp = QFileInfo(QDir::tempPath()).canonicalFilePath();
    const struct {
        const char* action;
        std::string home, folder, file;
        const char* refused; // the folder named by the refusal
        bool done;
    } rows[] = {
        {"CopyAll", "", "", "", nullptr, true},
        {"SaveLog", elsewhere.path(), documents, elsewhere / "log.txt", nullptr, true},
        {"SaveLog", side1.path(), temp.toStdString(), elsewhere / "to2/log.txt", "２", false},
        {"SaveLog", elsewhere.path(), documents, side1 / "log.txt", "１", false},
        {"SaveLog", elsewhere.path(), documents, elsewhere / "file/log.txt", nullptr, false}};
    const QRegularExpression dated(QStringLiteral("^doplet-\\d{4}-\\d\\d-\\d\\d-\\d{4}\\.log$"));
    const QByteArray home = qgetenv("HOME");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.action + (" " + row.file));
        qputenv("HOME", QByteArray::fromStdString(row.home));
        std::optional<ModalAnswer> error, again;
        QString opened, name;
        const ModalAnswer dialog([&](QWidget* window) {
            opened = qobject_cast<QFileDialog*>(window)->directory().canonicalPath();
            auto* edit = window->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name = edit->text();
            if (row.refused != nullptr) // OK on the box, then the dialog again is cancelled
                error.emplace([&](QWidget* box) {
                    again.emplace([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
                    qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
                });
            else if (!row.done)
                error.emplace();
            // Typed into the name box, which selectFile() leaves alone while it has the focus.
            edit->setText(QString::fromStdString(row.file));
            qobject_cast<QDialog*>(window)->accept(); // its checks run, as on its button
        });
        ChooseFromContextMenu(program.copyWin, view->viewport(), "LogMenu", row.action);
        if (!row.file.empty()) {
            EXPECT_TRUE(dialog.wait());
            EXPECT_EQ(opened.toStdString(), row.folder);
            EXPECT_TRUE(dated.match(name).hasMatch()) << name.toStdString();
        }
        EXPECT_TRUE(!error || (error->wait() &&
                               error->icon == (row.refused != nullptr ? QMessageBox::NoIcon
                                                                      : QMessageBox::Critical)));
        EXPECT_TRUE(!row.refused || (error && error->text.contains(row.refused)));
        EXPECT_TRUE(!again || again->wait());
        const QString result = row.file.empty()
                                   ? QApplication::clipboard()->text()
                                   : QString::fromStdString(ReadFile(row.file).value_or(""));
        EXPECT_EQ(result, row.done ? lines.join(u'\n') + u'\n' : QString());
    }
    qputenv("HOME", home);

    program.click(program.copyWin, "BitBtn1");
    EXPECT_FALSE(program.copyWin->isVisible());
}

// The question answered with OK (by Space) on the window's first showing, with Cancel (by Return)
// on its second: the button has the keyboard on every showing.
TEST_F(CopyWindow, TheWorkerWaitsWhileTheAbortQuestionIsOpen) {
    const Program program;
    for (const bool abort : {true, false}) {
        SCOPED_TRACE(abort ? "OK" : "Cancel");
        CopyGate gate(*program.fs, turnOf);
        gate.allow(2);
        program.execute();
        // The pass's workers are inside the third copy and the ones after it.
        const int inHand = std::min(2 + static_cast<int>(DefaultWorkers()), 5);
        ASSERT_TRUE(gate.waitStarted(inHand));
        ASSERT_TRUE(WaitFor([&] { return program.log().size() == 2; }));
        ASSERT_TRUE(QTest::qWaitForWindowActive(program.copyWin));
        EXPECT_EQ(QApplication::focusWidget(), Child<QWidget>(program.copyWin, "BitBtn1"));
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
        QTest::keyClick(QApplication::focusWidget(), abort ? Qt::Key_Space : Qt::Key_Return);
        ASSERT_TRUE(question.wait());
        EXPECT_EQ(question.caption + question.text, QStringLiteral("確認コピーを中止しますか？"));
        EXPECT_EQ(linesWhileAsking, 2);
        EXPECT_EQ(program.copyWin->isVisible(), !abort);
        gate.allow(100);
        ASSERT_TRUE(WaitFor([&] { return !program.copyWin->passRunning(); }));
        EXPECT_EQ(program.log(), copied(program, abort ? inHand : 5)); // nothing lost or twice
        EXPECT_EQ(gate.started(), abort ? inHand : 5);
        std::filesystem::remove_all(side2.path());
        std::filesystem::create_directory(side2.path());
    }
    // On the offscreen platform's 800 x 600 screen the main window's fixed place leaves its right
    // part off the screen, the copy window's does not.
    const QRect available = program.main->screen()->availableGeometry();
    const QRect main = program.main->frameGeometry();
    EXPECT_TRUE(available.contains(main));
    EXPECT_EQ(main.topLeft(), QPoint(available.right() + 1 - main.width(), 133));
    EXPECT_EQ(program.copyWin->frameGeometry().topLeft(), QPoint(298, 199));
}

TEST_F(CopyWindow, ClosingTheProgramDuringAPassEndsItAfterTheCurrentFileAndSaves) {
    const Program program;
    CopyGate gate(*program.fs, turnOf);
    gate.allow(1);
    program.execute();
    const int inHand = std::min(1 + static_cast<int>(DefaultWorkers()), 5); // copies begun
    ASSERT_TRUE(gate.waitStarted(inHand));
    program.click(program.main, "BitBtn3");
    EXPECT_TRUE(program.main->isVisible());     // not in the middle of a copy
    QDir(SettingsFolder()).removeRecursively(); // what is stored from here on is the closing save
    gate.allow(100);
    ASSERT_TRUE(WaitFor([&] { return !program.main->isVisible(); }));
    EXPECT_EQ(gate.started(), inHand);
    EXPECT_EQ(program.log(), copied(program, inHand));
    EXPECT_EQ(Stored("CODE2"), FolderText(side2.path()));
}

TEST_F(CopyWindow, AFailureEscapingThePassEndsTheProgramWithoutSaving) {
    const Program program;
    program.fs->beforeCopy([](std::string_view, std::string_view) {
        throw std::runtime_error("ディスクが壊れました");
    });
    int exitCode = -1;
    DopletApplication::instance()->setFatalExit([&exitCode](int code) { exitCode = code; });
    QDir(SettingsFolder()).removeRecursively();
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
