#pragma once

// Picking a folder with a file-open dialog: the user opens the wanted folder, types any file name
// and confirms; the folder part of the confirmed name is the folder.

#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

namespace doplet {

// The dialog of one folder column, owned by `parent`: no filter, no read-only choice, any file
// name accepted (the file itself is never opened).
QFileDialog* MakeFolderDialog(QWidget* parent, const QString& title);

// Runs the dialog, centred horizontally with a third of the free screen height above it, starting
// from the name it last confirmed. Returns the confirmed name's folder part (up to and including
// its last separator), or nothing when the user cancelled.
std::optional<QString> PickFolder(QFileDialog& dialog);

// The folder part of a full file name: "/data/x" gives "/data/", "/x" gives "/".
QString FolderPart(const QString& fileName);

} // namespace doplet
