// The main window as a user meets it: start-up, Execute's checks, picking and relisting folders,
// the context menu, the keyboard order, and closing with the folder texts saved.

#include "CopyWin.h"
#include "DopletApplication.h"
#include "UiTestSupport.h"
#include "main1.h"
#include "version1.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>

namespace doplet::test {
namespace {

QString NotFound() {
    return QStringLiteral("フォルダがみつかりません");
}

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

QStringList Sorted(QStringList lines) {
    lines.sort();
    return lines;
}

TEST_F(MainWindow, FirstStartShowsThePlaceholdersAndNoFolders) {
    const Program program;
    QWidget* main = program.main;
    EXPECT_EQ(main->windowTitle(), QStringLiteral("ファイル同期（Fmain1）"));
    EXPECT_EQ(program.text(main, "Edit1"), QStringLiteral("フォルダ１"));
    EXPECT_EQ(program.text(main, "Edit2"), QStringLiteral("フォルダ２"));
    EXPECT_EQ(program.fileList(1), QStringList{NotFound()});
    EXPECT_EQ(program.fileList(2), QStringList{NotFound()});
    EXPECT_EQ(program.text(main, "LSize1"), QStringLiteral("0Byte"));
    EXPECT_EQ(program.text(main, "LSize2"), QStringLiteral("0Byte"));
    EXPECT_FALSE(program.copyWin->isVisible());
    EXPECT_FALSE(program.version->isVisible());
}

TEST_F(MainWindow, StartWithStoredFoldersListsBoth) {
    StoreFolders(FolderText(side1.path()), FolderText(side2.path()));
    const Program program;
    QWidget* main = program.main;
    EXPECT_EQ(program.text(main, "Edit1"), FolderText(side1.path()));
    EXPECT_EQ(Sorted(program.fileList(1)), (QStringList{"/a.txt", "/sub/b.txt"}));
    EXPECT_EQ(program.fileList(2), QStringList{"/c.txt"});
    EXPECT_EQ(program.text(main, "LSize1"), QStringLiteral("1,234Byte"));
    EXPECT_EQ(program.text(main, "LSize2"), QStringLiteral("1Byte"));
    // The label is sized to its text.
    const auto* label = Child<QLabel>(main, "LSize1");
    EXPECT_EQ(label->size(), label->sizeHint());
}

TEST_F(MainWindow, AStoredValueOfTheWrongTypeIsReportedAndTheWindowStillOpens) {
    StoreValue("CODE1", FolderText(side1.path()));
    StoreValue("CODE2", QByteArray("\x05", 1));
    const ModalAnswer box(QMessageBox::Ok);
    const Program program;
    ASSERT_TRUE(box.answered());
    EXPECT_EQ(box.caption(), ProgramTitle(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(box.text(), QStringLiteral("'CODE2' のﾃﾞｰﾀ型が不正です."));
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    QWidget* main = program.main;
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(program.text(main, "Edit1"), FolderText(side1.path())); // loaded before the failure
    EXPECT_EQ(program.text(main, "Edit2"), QStringLiteral("フォルダ２"));
    EXPECT_TRUE(program.fileList(1).isEmpty()); // the creation step ended: nothing listed
    EXPECT_TRUE(program.fileList(2).isEmpty());
    EXPECT_EQ(program.text(main, "LSize1"), QStringLiteral("sss"));
}

TEST_F(MainWindow, ExecuteNamesOnlyTheFirstInvalidFolder) {
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
    EXPECT_FALSE(second.answered()); // only one box for two invalid folders

    auto* edit1 = Child<QLineEdit>(program.main, "Edit1");
    edit1->setText(FolderText(side1.path()));
    program.click(program.main, "BitBtn1");
    ASSERT_TRUE(second.wait());
    EXPECT_EQ(second.text(), QStringLiteral("フォルダー２が有効ではありません"));
    EXPECT_FALSE(program.copyWin->isVisible());
}

TEST_F(MainWindow, ListRelistsTheTypedTextAndSetsOnlyItsOwnLabel) {
    StoreFolders(FolderText(side1.path()), FolderText(side2.path()));
    const Program program;
    QWidget* main = program.main;
    auto* edit2 = Child<QLineEdit>(main, "Edit2");
    edit2->clear();
    QTest::keyClicks(edit2, QString::fromStdString(side1.path())); // no trailing separator
    program.click(main, "BitBtn6");
    EXPECT_EQ(Sorted(program.fileList(2)), (QStringList{"/a.txt", "/sub/b.txt"}));
    EXPECT_EQ(program.text(main, "LSize2"), QStringLiteral("1,234Byte"));
    EXPECT_EQ(program.text(main, "LSize1"), QStringLiteral("1,234Byte"));

    // The thousands separator is the user's, read again for every listing.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTest::keyClicks(edit2, QStringLiteral("/sub/nothing"));
    program.click(main, "BitBtn6");
    EXPECT_EQ(program.fileList(2), QStringList{NotFound()});
    EXPECT_EQ(program.text(main, "LSize2"), QStringLiteral("0Byte"));
    program.click(main, "BitBtn5");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(program.text(main, "LSize1"), QStringLiteral("1.234Byte"));
}

// Answers a folder dialog by typing a file name into it and pressing Enter.
ModalAnswer TypeIntoDialog(const QString& fileName, QString* offered) {
    return ModalAnswer([fileName, offered](QWidget* window) {
        auto* dialog = qobject_cast<QFileDialog*>(window);
        ASSERT_NE(dialog, nullptr);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        if (offered != nullptr) {
            *offered = dialog->selectedFiles().value(0);
        }
        name->setText(fileName);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

TEST_F(MainWindow, PickingAFolderTakesTheFolderOfTheTypedNameAndListsIt) {
    const Program program;
    QWidget* main = program.main;
    const QString typed = QString::fromStdString(side2.path()) + QStringLiteral("/any name");
    {
        QString offered;
        const ModalAnswer dialog = TypeIntoDialog(typed, &offered);
        program.click(main, "BitBtn4");
        ASSERT_TRUE(dialog.wait());
        EXPECT_EQ(dialog.caption(), QStringLiteral("フォルダー１の選択"));
    }
    EXPECT_EQ(program.text(main, "Edit1"), FolderText(side2.path()));
    EXPECT_EQ(program.fileList(1), QStringList{"/c.txt"});
    EXPECT_EQ(program.text(main, "LSize1"), QStringLiteral("1Byte"));
    EXPECT_EQ(program.fileList(2), QStringList{NotFound()}); // the other column is untouched

    // The dialog offers the name it last confirmed; cancelling changes nothing.
    QString offered;
    const ModalAnswer cancel([&offered](QWidget* window) {
        offered = qobject_cast<QFileDialog*>(window)->selectedFiles().value(0);
        QTest::keyClick(window, Qt::Key_Escape);
    });
    program.click(main, "BitBtn4");
    ASSERT_TRUE(cancel.wait());
    EXPECT_EQ(offered, typed);
    EXPECT_EQ(program.text(main, "Edit1"), FolderText(side2.path()));
    EXPECT_EQ(program.fileList(1), QStringList{"/c.txt"});

    const ModalAnswer second = TypeIntoDialog(typed, nullptr);
    program.click(main, "BitBtn2");
    ASSERT_TRUE(second.wait());
    EXPECT_EQ(second.caption(), QStringLiteral("フォルダー２の選択"));
    EXPECT_EQ(program.text(main, "Edit2"), FolderText(side2.path()));
}

TEST_F(MainWindow, TheContextMenuOpensOnEveryPartOfTheWindow) {
    const Program program;
    QWidget* main = program.main;
    auto* menu = Child<QMenu>(main, "PopupMenu1");
    QStringList captions;
    for (const QAction* action : menu->actions()) {
        captions << action->text();
    }
    EXPECT_EQ(captions, (QStringList{"情報", "---------------", "プログラムの終了"}));

    // Edit boxes and the help text show this menu, not the text-editing one.
    for (const char* name :
         {"Edit1", "Edit2", "Memo1", "FileListBox1", "BitBtn4", "LSize2", "Panel3", "Label1"}) {
        auto* widget = Child<QWidget>(main, name);
        QWidget* target = widget;
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
            target = area->viewport();
        }
        const QPoint inside(4, 4);
        QContextMenuEvent event(QContextMenuEvent::Mouse, inside, target->mapToGlobal(inside));
        QCoreApplication::sendEvent(target, &event);
        EXPECT_TRUE(WaitFor([menu] { return menu->isVisible(); }, 5'000)) << name;
        EXPECT_EQ(QApplication::activePopupWidget(), menu) << name;
        menu->hide();
    }
}

// Opens the context menu and clicks the entry with the mouse.
void Choose(const Program& program, const char* entry) {
    QWidget* main = program.main;
    auto* menu = Child<QMenu>(main, "PopupMenu1");
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(300, 20),
                            main->mapToGlobal(QPoint(300, 20)));
    QCoreApplication::sendEvent(main, &event);
    ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }, 5'000));
    auto* action = Child<QAction>(main, entry);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    EXPECT_TRUE(WaitFor([menu] { return !menu->isVisible(); }, 5'000));
}

TEST_F(MainWindow, MenuEntriesShowTheAboutWindowDoNothingAndEnd) {
    StoreFolders(FolderText(side1.path()), FolderText(side2.path()));
    const Program program;
    Choose(program, "N3"); // an ordinary entry that does nothing
    EXPECT_TRUE(program.main->isVisible());
    EXPECT_FALSE(program.version->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    Choose(program, "N1");
    EXPECT_TRUE(program.version->isVisible());

    auto* edit1 = Child<QLineEdit>(program.main, "Edit1");
    edit1->setText(QStringLiteral("  typed, never listed "));
    Choose(program, "N2");
    EXPECT_FALSE(program.main->isVisible());
    EXPECT_EQ(StoredFolder("CODE1"), QStringLiteral("  typed, never listed "));
    EXPECT_EQ(StoredFolder("CODE2"), FolderText(side2.path()));
}

TEST_F(MainWindow, ExitAndTheCloseBoxSaveTheBoxTexts) {
    {
        const Program program;
        program.click(program.main, "BitBtn3");
        EXPECT_FALSE(program.main->isVisible());
        EXPECT_EQ(StoredFolder("CODE1"), QStringLiteral("フォルダ１"));
        EXPECT_EQ(StoredFolder("CODE2"), QStringLiteral("フォルダ２"));
    }
    {
        const Program program;
        Child<QLineEdit>(program.main, "Edit2")->setText(QString());
        program.main->close(); // the frame's close box
        EXPECT_FALSE(program.main->isVisible());
        EXPECT_EQ(StoredFolder("CODE2"), QString());
    }
}

TEST_F(MainWindow, AFailedSaveIsReportedAndKeepsTheWindowOpen) {
    const Program program;
    // A file where the store's folder belongs: the store cannot be created.
    QFile blocker(SettingsFile().section(u'/', 0, -2));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        const ModalAnswer box(QMessageBox::Ok);
        program.click(program.main, "BitBtn3");
        ASSERT_TRUE(box.wait());
        EXPECT_EQ(box.text(), QStringLiteral("ｷｰ  の作成に失敗しました."));
        EXPECT_EQ(box.caption(), ProgramTitle(QCoreApplication::applicationFilePath()));
    }
    EXPECT_TRUE(program.main->isVisible());

    // Once the store can be written again, closing works.
    QFile::remove(blocker.fileName());
    program.click(program.main, "BitBtn3");
    EXPECT_FALSE(program.main->isVisible());
    EXPECT_EQ(StoredFolder("CODE1"), QStringLiteral("フォルダ１"));
}

TEST_F(MainWindow, TabFollowsTheColumnsOrder) {
    const Program program;
    QWidget* main = program.main;
    main->activateWindow();
    Child<QWidget>(main, "FileListBox1")->setFocus();
    ASSERT_TRUE(WaitFor([] { return QApplication::focusWidget() != nullptr; }, 5'000));
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(order, (QStringList{"FileListBox1", "BitBtn4", "Edit1", "BitBtn5", "BitBtn2", "Edit2",
                                  "FileListBox2", "BitBtn6", "BitBtn1", "Memo1", "BitBtn3",
                                  "FileListBox1"}));
}

TEST_F(MainWindow, TheHelpTextShowsItsNineteenLinesInFull) {
    const Program program;
    auto* memo = Child<QTextEdit>(program.main, "Memo1");
    const QStringList lines = memo->toPlainText().split(u'\n');
    ASSERT_EQ(lines.size(), 19);
    EXPECT_EQ(lines[3], QStringLiteral("比較し新しい方を "));
    EXPECT_EQ(lines[14], QStringLiteral("文字を入れて "));
    EXPECT_EQ(lines[8], QString());
    EXPECT_EQ(lines[18], QStringLiteral("書き込み禁止ファイル"));
    // Every line fits the box, the last one included: nothing is wrapped or cut off.
    EXPECT_EQ(memo->document()->lineCount(), 19);
    QTextCursor end(memo->document());
    end.movePosition(QTextCursor::End);
    EXPECT_LE(memo->cursorRect(end).bottom(), memo->viewport()->height());
}

TEST_F(MainWindow, JapaneseCaptionsUseTheSubstitutedFonts) {
    const Program program;
    QWidget* main = program.main;
    EXPECT_EQ(QFontInfo(Child<QWidget>(main, "BitBtn2")->font()).family(), "IPAPGothic");
    EXPECT_EQ(QFontInfo(Child<QWidget>(main, "BitBtn4")->font()).family(), "IPAMincho");
    EXPECT_EQ(QFontInfo(Child<QWidget>(main, "Edit1")->font()).family(), "IPAMincho");
    EXPECT_EQ(QFontInfo(Child<QWidget>(main, "Memo1")->font()).family(), "IPAPMincho");
    const QFont title = Child<QWidget>(main, "Label1")->font();
    EXPECT_EQ(title.pixelSize(), 21);
    EXPECT_TRUE(title.bold() && title.italic());
    // No character of any caption is missing from the font that shows it.
    for (QWidget* window :
         {main, static_cast<QWidget*>(program.copyWin), static_cast<QWidget*>(program.version)}) {
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (widget->window() != window) {
                continue; // a dialog of its own
            }
            const QString text =
                widget->property("text").toString() + widget->property("plainText").toString();
            const QFontMetrics metrics(widget->font());
            for (const char32_t c : text.toUcs4()) {
                if (c > u' ') {
                    EXPECT_TRUE(metrics.inFontUcs4(c))
                        << widget->objectName().toStdString() << " U+" << std::hex << unsigned(c);
                }
            }
        }
    }
}

} // namespace
} // namespace doplet::test
