#include "version1.h"

#include "DopletApplication.h"
#include "Placement.h"
#include "Texts.h"
#include "ui_version1.h"

#include <QIconEngine>
#include <QKeyEvent>
#include <QPixmap>
#include <algorithm>

namespace doplet {

namespace {

// An icon that has no picture at any size: a window given it asks the window system for no
// caption icon at all, where an empty icon would fall back to the program's.
class NoPicture final : public QIconEngine {
public:
    void paint(QPainter* /*painter*/, const QRect& /*rect*/, QIcon::Mode /*mode*/,
               QIcon::State /*state*/) override {}
    QPixmap pixmap(const QSize& /*size*/, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return {};
    }
    QPixmap scaledPixmap(const QSize& /*size*/, QIcon::Mode /*mode*/, QIcon::State /*state*/,
                         qreal /*scale*/) override {
        return {};
    }
    [[nodiscard]] QIconEngine* clone() const override { return new NoPicture; }
    bool isNull() override { return false; }
};

} // namespace

TFVersion1::TFVersion1(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFVersion1>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setWindowIcon(QIcon(new NoPicture)); // the dialog frame has no caption icon
    setAttribute(Qt::WA_QuitOnClose, false);
    ui->Label1->setText(QString::fromUtf8(texts::kContactMail));
    ui->Label2->setText(QString::fromUtf8(texts::kContactWeb));
    ui->Label3->setText(QString::fromUtf8(texts::kContactWeb2));
    for (QLabel* label : ui->Panel1->findChildren<QLabel*>()) {
        if (label != ui->ProgramIcon) {
            label->adjustSize(); // every label is sized to its text
        }
    }
    connect(ui->OKButton, &QPushButton::clicked, this,
            [this] { RunOperation([this] { OKButtonClick(); }); });
}

TFVersion1::~TFVersion1() = default;

void TFVersion1::setVisible(bool visible) {
    if (visible && !placed_) {
        placed_ = true;
        PlaceFrame(*this, [](const QSize& outer, const QRect& screen) {
            return screen.topLeft() + QPoint(std::max(0, (screen.width() - outer.width()) / 2),
                                             std::max(0, (screen.height() - outer.height()) / 2));
        });
    }
    QDialog::setVisible(visible);
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
