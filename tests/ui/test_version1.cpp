// The about window: where it shows, what it shows, and which keys close it.

#include "CopyWin.h"
#include "UiTestSupport.h"
#include "main1.h"
#include "version1.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace doplet::test {
namespace {

class AboutWindow : public testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }

    // "情報" from the main window's context menu.
    void showAbout() const {
        QWidget* main = program.main;
        auto* menu = Child<QMenu>(main, "PopupMenu1");
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(300, 20),
                                main->mapToGlobal(QPoint(300, 20)));
        QCoreApplication::sendEvent(main, &event);
        ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }));
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(Child<QAction>(main, "N1")).center());
        ASSERT_TRUE(WaitFor([this] { return program.version->isVisible(); }));
    }

    Program program;
};

TEST_F(AboutWindow, ShowsCentredFirstThenWhereItWasLeft) {
    showAbout();
    QWidget* about = program.version;
    EXPECT_EQ(about->windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(about->size(), QSize(298, 213));
    const QRect screen = about->screen()->geometry();
    const QSize outer = about->frameGeometry().size();
    EXPECT_EQ(about->frameGeometry().topLeft(),
              QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2));

    about->move(17, 23); // the user moves it
    QTest::mouseClick(Child<QPushButton>(about, "OKButton"), Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    showAbout();
    EXPECT_EQ(about->pos(), QPoint(17, 23));

    // Chosen again while open: no second window, the same one in front.
    about->move(40, 50);
    showAbout();
    EXPECT_EQ(about->pos(), QPoint(40, 50));
    EXPECT_EQ(QApplication::topLevelWidgets().count(about), 1);
}

TEST_F(AboutWindow, EnterClosesAndEscapeDoesNothing) {
    showAbout();
    QWidget* about = program.version;
    about->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(about));
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, Qt::Key_Escape);
    QTest::qWait(50);
    EXPECT_TRUE(about->isVisible());
    QTest::keyClick(focus, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([about] { return !about->isVisible(); }));
}

TEST_F(AboutWindow, ShowsTheProductAndTheMakerWhileTheMainWindowStaysUsable) {
    showAbout();
    QWidget* about = program.version;
    EXPECT_EQ(program.text(about, "ProductName"), QStringLiteral("doplet(フリーウェア)"));
    EXPECT_EQ(program.text(about, "Version"), QStringLiteral("Version  1.0"));
    EXPECT_EQ(program.text(about, "Label4"), QStringLiteral("メール くらはーい ~＼(^o^)"));
    EXPECT_TRUE(program.text(about, "Copyright").contains(QStringLiteral("QuillBarrow")));
    EXPECT_TRUE(program.text(about, "Label1").contains(u'@'));
    for (const char* name : {"Label2", "Label3"}) {
        EXPECT_TRUE(program.text(about, name).startsWith(QStringLiteral("http")) ||
                    program.text(about, name).contains(QStringLiteral("://")));
    }
    EXPECT_FALSE(Child<QLabel>(about, "ProgramIcon")->pixmap().isNull());

    // The main window still takes input: Execute answers with its own message.
    const ModalAnswer box(QMessageBox::Ok);
    program.click(program.main, "BitBtn1");
    ASSERT_TRUE(box.wait());
    EXPECT_EQ(box.text(), QStringLiteral("フォルダー１が有効ではありません"));
    EXPECT_TRUE(about->isVisible());
}

} // namespace
} // namespace doplet::test
