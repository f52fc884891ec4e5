#pragma once

// The program's message boxes. All are application-modal: every window is disabled while one
// shows, and the window that was active before is active again afterwards.

#include <QString>

class QWidget;

namespace doplet {

// The program's own boxes: no icon, OK.
void ShowMessage(QWidget* parent, const QString& caption, const QString& text);
// No icon, OK and Cancel; true for OK. Escape and the box's close box answer Cancel.
bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text);

// The error message box: the program's title as caption, the error icon, OK, and the message
// with its full stop.
void ShowErrorBox(const QString& message);

// The box for a failure that escaped a pass, naming its class, module and a code address.
void ShowFatalBox(const QString& errorClass, const QString& module, const QString& message);

} // namespace doplet
