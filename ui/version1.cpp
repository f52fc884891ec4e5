#include "version1.h"

#include "DopletApplication.h"
#include "ui_version1.h"

#include <QKeyEvent>
#include <QScreen>
#include <algorithm>

namespace doplet {

namespace {

// The maker's contact lines, kept here and nowhere else.
struct Contact {
    const char* mail;
    const char* web;
    const char* web2;
};
constexpr Contact kContact{
    "E-mail: doplet@example.com",
    "HomePage: https://www.example.com/doplet/",
    "https://quillbarrow.example.com/",
};

} // namespace

TFVersion1::TFVersion1(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFVersion1>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setAttribute(Qt::WA_QuitOnClose, false);
    ui->Label1->setText(QString::fromUtf8(kContact.mail));
    ui->Label2->setText(QString::fromUtf8(kContact.web));
    ui->Label3->setText(QString::fromUtf8(kContact.web2));
    for (QLabel* label : ui->Panel1->findChildren<QLabel*>()) {
        if (label != ui->ProgramIcon) {
            label->adjustSize(); // every label is sized to its text
        }
    }
    connect(ui->OKButton, &QPushButton::clicked, this,
            [this] { RunOperation([this] { OKButtonClick(); }); });
}

TFVersion1::~TFVersion1() = default;

void TFVersion1::showEvent(QShowEvent* event) {
    if (!placed_) {
        placed_ = true;
        if (const QScreen* screen = this->screen()) {
            const QRect area = screen->geometry();
            const QSize outer = frameGeometry().size();
            move(area.x() + std::max(0, (area.width() - outer.width()) / 2),
                 area.y() + std::max(0, (area.height() - outer.height()) / 2));
        }
    }
    QDialog::showEvent(event);
}

void TFVersion1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept(); // no cancel button: Escape leaves the window open
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFVersion1::OKButtonClick() {
    close();
}

} // namespace doplet
