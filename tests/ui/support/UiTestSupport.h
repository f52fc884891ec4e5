#pragma once

// Driving the real windows: the three windows made as the program makes them, answers to modal
// boxes and dialogs given the way a user gives them, a gate that holds the worker inside a copy,
// and the settings store as the tests arrange and read it.

#include "FaultyFileSystem.h"
#include "TestFiles.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>

class QColor;
class QImage;
class QWidget;

namespace doplet {
class TFCopyWin;
class TFmain1;
class TFVersion1;
struct Windows;
} // namespace doplet

namespace doplet::test {

// Polls until `condition` holds, keeping the interface running; false after `timeoutMs`.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30'000);

// Answers the next application-modal window (message box or dialog) once it shows: records its
// caption, text and icon, then runs `act` on it, which presses a button or types as a user would.
class ModalAnswer final : public QObject {
    Q_OBJECT

public:
    explicit ModalAnswer(std::function<void(QWidget*)> act);
    // Clicks this button of the box.
    explicit ModalAnswer(QMessageBox::StandardButton button);

    [[nodiscard]] bool answered() const { return answered_; }
    [[nodiscard]] const QString& caption() const { return caption_; }
    [[nodiscard]] const QString& text() const { return text_; }
    [[nodiscard]] QMessageBox::Icon icon() const { return icon_; }
    [[nodiscard]] bool applicationModal() const { return applicationModal_; }
    // Waits until the window has been answered.
    bool wait(int timeoutMs = 30'000) const;

private:
    void poll();

    std::function<void(QWidget*)> act_;
    QTimer timer_;
    bool answered_ = false;
    bool applicationModal_ = false;
    QString caption_;
    QString text_;
    QMessageBox::Icon icon_ = QMessageBox::NoIcon;
};

// Fails the running test and closes a modal window nobody answered, so that no test hangs.
class ModalWatchdog final : public QObject {
    Q_OBJECT

public:
    ModalWatchdog();

private:
    QTimer timer_;
    QWidget* seen_ = nullptr;
    int ticks_ = 0;
};

// Holds every copy of a pass at its start until the test allows it: copy n (counted from 1) runs
// once n copies are allowed. Declare it after the Program whose file system it gates.
class CopyGate {
public:
    explicit CopyGate(FaultyFileSystem& fs);
    ~CopyGate();
    CopyGate(const CopyGate&) = delete;
    CopyGate& operator=(const CopyGate&) = delete;
    CopyGate(CopyGate&&) = delete;
    CopyGate& operator=(CopyGate&&) = delete;

    void allow(int copies);
    void allowAll();
    // Wait until this many copies have begun (are waiting at the gate or past it) / have ended.
    bool waitStarted(int copies);
    bool waitEnded(int copies);
    [[nodiscard]] int started() const;

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int allowed = 0;
        int started = 0;
        int ended = 0;
    };
    std::shared_ptr<State> state_;
};

// The program's three windows over a real file system in which tests can arrange faults. The
// main window shows; everything is taken down (after any pass) at the end.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    Program(Program&&) = delete;
    Program& operator=(Program&&) = delete;

    std::shared_ptr<FaultyFileSystem> fs;
    std::unique_ptr<Windows> windows;
    TFmain1* main;
    TFCopyWin* copyWin;
    TFVersion1* version;

    // Lets every held copy go and waits until no pass runs any more.
    void finishPasses();
    // Presses a button of a window with the mouse.
    void click(QWidget* window, const char* button) const;
    // Execute, then wait until the copy window shows.
    void execute() const;
    // The lines of a file list (1 or 2) or of the log, as shown.
    [[nodiscard]] QStringList fileList(int which) const;
    [[nodiscard]] QStringList log() const;
    [[nodiscard]] QString text(QWidget* window, const char* name) const;
    // Waits until the copy window's pass has completed ("完了").
    bool waitDone() const;
};

// The child of `parent` with this object name; fails the test when there is none.
template <class T> T* Child(const QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Right-clicks `target` and chooses the entry `action` of the context menu `menu` of `window`;
// returns the entry's caption.
QString ChooseFromContextMenu(QWidget* window, QWidget* target, const char* menu,
                              const char* action);

// Types `name` into a file dialog and confirms it, as its Save or Open button does.
void ConfirmFileName(QWidget* window, const QString& name);

// How many pixels of the image pass the test.
int CountPixels(const QImage& image, const std::function<bool(const QColor&)>& test);

// A folder as a folder box shows it: its path with a trailing separator.
QString FolderText(const std::string& path);

// The settings store as the tests arrange and read it.
void StoreFolders(const QString& text1, const QString& text2);
void StoreValue(const char* key, const QVariant& value);
std::optional<QString> StoredFolder(const char* key);
void ClearSettings();
QString SettingsFile();

} // namespace doplet::test
