#pragma once

// The application object: the one place where a failure raised inside a window operation is
// caught and shown in the program's error message box, and where a failure that escaped a pass
// ends the program.

#include <QApplication>
#include <QString>
#include <functional>

namespace doplet {

class DopletApplication final : public QApplication {
    Q_OBJECT

public:
    DopletApplication(int& argc, char** argv);

    // Delivers every event; a std::exception that escapes its handling ends that operation and
    // is shown in the error message box, after which the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;

    // A failure escaped a pass: shows the fatal message box, then ends the program with exit
    // code 1 without the main window's closing steps (nothing is saved).
    void endWithFatal(const QString& errorClass, const QString& message);

    // What ends the program after a fatal failure (by default the event loop ends with the code).
    void setFatalExit(std::function<void(int)> fatalExit) { fatalExit_ = std::move(fatalExit); }

    static DopletApplication* instance();

private:
    std::function<void(int)> fatalExit_;
};

// Runs one window operation (a creation, show, close or click step) as an event of its own, so
// that a failure raised in it reaches DopletApplication::notify without passing through Qt's
// signal machinery. Returns false when the operation failed (and was reported).
bool RunOperation(const std::function<void()>& operation);

} // namespace doplet
