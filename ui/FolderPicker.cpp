#include "FolderPicker.h"

#include "Placement.h"

#include <QFileDialog>
#include <algorithm>

namespace doplet {

namespace {

// The name the dialog last confirmed, offered again the next time it opens.
constexpr const char* kLastName = "dopletLastName";

// Centred horizontally, with a third of the free screen height above the frame.
void PlaceDialog(QFileDialog& dialog) {
    PlaceFrame(dialog, [](const QSize& outer, const QRect& screen) {
        return screen.topLeft() + QPoint(std::max(0, (screen.width() - outer.width()) / 2),
                                         std::max(0, screen.height() - outer.height()) / 3);
    });
}

} // namespace

QFileDialog* MakeFolderDialog(QWidget* parent, const QString& title) {
    auto* dialog = new QFileDialog(parent, title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    return dialog;
}

std::optional<QString> PickFolder(QFileDialog& dialog) {
    const QString last = dialog.property(kLastName).toString();
    if (!last.isEmpty()) {
        dialog.selectFile(last);
    }
    PlaceDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString name = dialog.selectedFiles().constFirst();
    dialog.setProperty(kLastName, name);
    return FolderPart(name);
}

QString FolderPart(const QString& fileName) {
    return fileName.left(fileName.lastIndexOf(u'/') + 1);
}

} // namespace doplet
