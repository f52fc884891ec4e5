#include "FolderPicker.h"

#include <QFileDialog>
#include <QScreen>
#include <algorithm>

namespace doplet {

namespace {

// The name the dialog last confirmed, offered again the next time it opens.
constexpr const char* kLastName = "dopletLastName";

void PlaceDialog(QFileDialog& dialog) {
    const QScreen* screen = dialog.screen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    const QSize size = dialog.frameGeometry().size();
    const int freeHeight = std::max(0, area.height() - size.height());
    dialog.move(area.x() + std::max(0, (area.width() - size.width()) / 2),
                area.y() + freeHeight / 3);
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
