#include "MessageBoxes.h"

#include "Frontend.h"
#include "SyncPass.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>

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
    const auto address = reinterpret_cast<quintptr>(&RunPass);
    const QString where =
        QStringLiteral("%1").arg(qulonglong(address), int(sizeof(void*) * 2), 16, QChar(u'0'));
    const QString text = QStringLiteral("%1がﾓｼﾞｭｰﾙ %2 の %3 で発生しました。")
                             .arg(errorClass, module, where.toUpper()) +
                         u'\n' + WithFullStop(message);
    Run(QMessageBox::Critical, QApplication::activeWindow(), QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ"), text,
        QMessageBox::Ok);
}

} // namespace doplet
