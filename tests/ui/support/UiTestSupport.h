#pragma once

// Driving the real windows: the three windows made as the program makes them, answers to modal
// boxes and dialogs given the way a user gives them, a gate that holds the worker inside a copy,
// and the settings store as the tests arrange and read it.

#include "CopyGate.h"
#include "FaultyFileSystem.h"
#include "TestFiles.h"
#include "Windows.h"

#include <QDir>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace doplet::test {

// Polls until `condition` holds, keeping the interface running; false after `timeoutMs`.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30'000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// The child of `parent` with this object name.
template <class T> T* Child(const QObject* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// Answers the next application-modal window (message box or dialog) once it shows: records its
// caption, text and icon, then runs `act` on it, which presses a button or types as a user would;
// without `act` it clicks the box's OK button.
struct ModalAnswer {
    explicit ModalAnswer(std::function<void(QWidget*)> act = {}) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(10);
    }
    // Waits until the window has been answered.
    bool wait() const {
        return WaitFor([this] { return answered; });
    }

    bool answered = false;
    bool applicationModal = false;
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

    void poll() {
        QWidget* window = QApplication::activeModalWidget();
        if (window == nullptr || !window->isVisible())
            return;
        timer_.stop();
        caption = window->windowTitle();
        applicationModal = window->windowModality() == Qt::ApplicationModal;
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box != nullptr)
            text = box->text(), icon = box->icon();
        QAbstractButton* ok = box != nullptr ? box->button(QMessageBox::Ok) : nullptr;
        if (act_) {
            act_(window);
        } else if (ok != nullptr) {
            QTest::mouseClick(ok, Qt::LeftButton);
        } else { // some other question: a fault of the test, which must not hang on it
            ADD_FAILURE() << "unexpected window: " << caption.toStdString() << " "
                          << text.toStdString();
            qobject_cast<QDialog*>(window)->done(0);
        }
        answered = true;
    }

    std::function<void(QWidget*)> act_;
    QTimer timer_;
};

// The program's three windows over a real file system in which tests can arrange faults. The
// main window shows; everything is taken down (after any pass) at the end.
struct Program {
    Program() {
        main->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(main));
    }
    ~Program() { // lets every held copy go and waits until no pass runs any more
        if (const std::shared_ptr<WorkerControl>& worker = copyWin->worker()) {
            worker->release();
            EXPECT_TRUE(worker->waitUntilFinished(std::chrono::milliseconds(60'000)));
        }
        WaitFor([this] { return !copyWin->passRunning(); }, 2'000); // the last announcements
        QCoreApplication::processEvents();
    }

    // Presses a button of a window with the mouse.
    void click(QWidget* window, const char* button) const {
        QTest::mouseClick(Child<QPushButton>(window, button), Qt::LeftButton);
    }
    // Execute, then wait until the copy window shows.
    void execute() const {
        click(main, "BitBtn1");
        EXPECT_TRUE(WaitFor([this] { return copyWin->isVisible(); }));
    }
    // The lines of a list view of a window, as shown, and those of the log.
    static QStringList lines(QWidget* window, const char* view) {
        const QAbstractItemModel* model = Child<QListView>(window, view)->model();
        QStringList lines;
        for (int row = 0; row < model->rowCount(); ++row)
            lines << model->index(row, 0).data().toString();
        return lines;
    }
    [[nodiscard]] QStringList log() const { return lines(copyWin, "ListBox1"); }
    [[nodiscard]] static QString text(QWidget* window, const char* name) {
        return Child<QObject>(window, name)->property("text").toString();
    }

    std::shared_ptr<FaultyFileSystem> fs = std::make_shared<FaultyFileSystem>();
    std::unique_ptr<Windows> windows = std::make_unique<Windows>(fs);
    TFmain1* main = &windows->Fmain1;
    TFCopyWin* copyWin = &windows->FCopyWin;
    TFVersion1* version = &windows->FVersion1;
};

// Right-clicks `target` at `at` and chooses the entry `action` of the context menu `menu` of
// `window`.
inline void ChooseFromContextMenu(QWidget* window, QWidget* target, const char* menu,
                                  const char* action, QPoint at = {5, 5}) {
    auto* popup = Child<QMenu>(window, menu);
    auto* entry = Child<QAction>(window, action);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QCoreApplication::sendEvent(target, &event);
    EXPECT_TRUE(WaitFor([popup] { return popup->isVisible(); })) << menu;
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(entry).center());
}

// A folder as a folder box shows it: its path with a trailing separator.
inline QString FolderText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path)) + u'/';
}

// The settings store as the tests arrange and read it.
inline QString SettingsFolder() {
    return QFile::decodeName(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/QuillBarrow");
}
inline void StoreValue(const char* key, const QVariant& value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "QuillBarrow", "doplet");
    store.setValue(QStringLiteral("main1/") + QString::fromLatin1(key), value);
}
inline QVariant Stored(const char* key) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "QuillBarrow", "doplet")
        .value(QStringLiteral("main1/") + QString::fromLatin1(key));
}

// Every GUI test's two folders, and a settings store that is empty again after each test.
struct UiTest : testing::Test {
    void SetUp() override { QDir(SettingsFolder()).removeRecursively(); }
    void TearDown() override { SetUp(); }

    TempDir side1, side2;
};

} // namespace doplet::test
