// The main and about windows as a user meets them: the texts they show, Execute's check, the
// error box, where the about window opens, and closing with the folder texts saved.

#include "UiTestSupport.h"

#include <QLabel>
#include <QLineEdit>

namespace doplet::test {
namespace {

struct MainWindow : UiTest {
    void SetUp() override {
        UiTest::SetUp();
        WriteFile(side1 / "a.txt", std::string(1000, 'a'));
        WriteFile(side1 / "sub/b.txt", std::string(234, 'b'));
        WriteFile(side2 / "c.txt", "c");
    }
};

TEST_F(MainWindow, ShowsTheTextsAUserSees) {
    const QString notFound = QStringLiteral("フォルダがみつかりません");
    for (const bool stored : {false, true}) {
        if (stored)
            StoreValue("CODE1", FolderText(side1.path())),
                StoreValue("CODE2", FolderText(side2.path()));
        const Program program;
        const auto shown = [&](const char* name) { return Program::text(program.main, name); };
        QStringList list1 = Program::lines(program.main, "FileListBox1");
        list1.sort();
        EXPECT_EQ((QStringList{shown("Edit1"), shown("Edit2"), shown("LSize1"), shown("LSize2")} +
                   list1 + Program::lines(program.main, "FileListBox2")),
                  (stored ? QStringList{FolderText(side1.path()), FolderText(side2.path()),
                                        "1,234Byte", "1Byte", "/a.txt", "/sub/b.txt", "/c.txt"}
                          : QStringList{"フォルダ１", "フォルダ２", "0Byte", "0Byte", notFound,
                                        notFound}));
        const auto* label = Child<QWidget>(program.main, "LSize1"); // sized to its text
        EXPECT_EQ(label->size(), label->sizeHint());
    }
}

TEST_F(MainWindow, ExecuteNamesOnlyTheFirstInvalidFolder) {
    const Program program;
    const ModalAnswer box;
    program.click(program.main, "BitBtn1");
    ASSERT_TRUE(box.wait());
    EXPECT_EQ(box.caption + box.text, QStringLiteral("エラーフォルダー１が有効ではありません"));
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_TRUE(box.applicationModal);
    const ModalAnswer second;
    QTest::qWait(200);
    EXPECT_FALSE(second.answered); // one box for two invalid folders
    Child<QLineEdit>(program.main, "Edit1")->setText(FolderText(side1.path()));
    program.click(program.main, "BitBtn1");
    ASSERT_TRUE(second.wait());
    EXPECT_EQ(second.text, QStringLiteral("フォルダー２が有効ではありません"));
    EXPECT_FALSE(program.copyWin->isVisible());
}

TEST_F(MainWindow, AStoredValueOfTheWrongTypeIsReportedAndTheWindowStillOpens) {
    StoreValue("CODE1", FolderText(side1.path()));
    StoreValue("CODE2", QByteArray("\x05", 1));
    const ModalAnswer box;
    const Program program;
    ASSERT_TRUE(box.answered); // the window opens with CODE1 loaded and nothing listed
    EXPECT_EQ((QStringList{box.text, Program::text(program.main, "Edit1"),
                           Program::text(program.main, "LSize1")}),
              (QStringList{"'CODE2' のﾃﾞｰﾀ型が不正です.", FolderText(side1.path()), "sss"}));
}

TEST_F(MainWindow, AFailedSaveKeepsTheWindowOpenAndExitSavesTheBoxTexts) {
    const Program program;
    QFile(SettingsFolder()).open(QIODevice::WriteOnly); // a file where the store's folder goes
    const ModalAnswer box;
    program.click(program.main, "BitBtn3");
    ASSERT_TRUE(box.wait());
    EXPECT_EQ(box.caption + box.text, QStringLiteral("test_uiｷｰ  の作成に失敗しました."));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_TRUE(program.main->isVisible());
    QFile::remove(SettingsFolder());
    Child<QLineEdit>(program.main, "Edit2")->setText(QStringLiteral("  typed "));
    program.main->close(); // the frame's close box
    EXPECT_FALSE(program.main->isVisible());
    EXPECT_EQ(Stored("CODE1"), QStringLiteral("フォルダ１"));
    EXPECT_EQ(Stored("CODE2"), QStringLiteral("  typed "));
}

TEST_F(MainWindow, TheAboutWindowOpensCentredThenWhereItWasLeft) {
    const Program program;
    QWidget* about = program.version;
    const auto showAbout = [&] { // "情報" from the context menu
        ChooseFromContextMenu(program.main, program.main, "PopupMenu1", "N1", {300, 20});
        ASSERT_TRUE(WaitFor([about] { return about->isVisible(); }));
    };
    showAbout();
    auto* panel = Child<QFrame>(about, "Panel1"); // every line sized to its text fits in the box
    for (const QLabel* label : panel->findChildren<QLabel*>())
        EXPECT_TRUE(panel->contentsRect().contains(label->geometry()))
            << label->text().toStdString();
    const QRect screen = about->screen()->geometry();
    const QSize outer = about->frameGeometry().size();
    EXPECT_EQ(about->frameGeometry().topLeft(),
              QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2));
    // A user moves a window once it has its frame: until then it may still be placed again.
    ASSERT_TRUE(WaitFor([about] { return about->findChild<QObject*>("FrameWatch") == nullptr; }));
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
