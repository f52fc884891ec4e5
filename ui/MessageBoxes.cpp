#include "MessageBoxes.h"

#include "Frontend.h"
#include "SyncPass.h"
#include "Texts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdint>

namespace doplet {

namespace {

QMessageBox::StandardButton Run(QMessageBox::Icon icon, QWidget* parent, const QString& caption,
                                const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    for (QAbstractButton* button : box.buttons()) {
        button->setIcon(QIcon()); // plain buttons, whatever the style would put on them
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString WithFullStop(const QString& message) {
    return QString::fromStdString(frontend::WithFullStop(message.toStdString()));
}

} // namespace

void ShowMessage(QWidget* parent, const QString& caption, const QString& text) {
    Run(QMessageBox::NoIcon, parent, caption, text, QMessageBox::Ok);
}

bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text) {
    return Run(QMessageBox::NoIcon, parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

void ShowErrorBox(const QString& message) {
    Run(QMessageBox::Critical, QApplication::activeWindow(),
        QString::fromStdString(
            frontend::ProgramTitle(QCoreApplication::applicationFilePath().toStdString())),
        WithFullStop(message), QMessageBox::Ok);
}

void ShowFatalBox(const QString& errorClass, const QString& module, const QString& message) {
    // The address of the pass's code stands for where the failure arose.
    const auto address = reinterpret_cast<std::uintptr_t>(&RunPass);
    const std::string text = frontend::FatalText(errorClass.toStdString(), module.toStdString(),
                                                 address, message.toStdString());
    Run(QMessageBox::Critical, QApplication::activeWindow(),
        QString::fromUtf8(texts::kFatalCaption.data(),
                          static_cast<qsizetype>(texts::kFatalCaption.size())),
        QString::fromStdString(text), QMessageBox::Ok);
}

} // namespace doplet
