#pragma once

// The about window: product line, version and the maker's contact lines. Centred on the screen
// the first time it shows, then wherever it was last; Enter closes it, Escape does nothing.

#include <QDialog>
#include <memory>

namespace Ui {
class TFVersion1;
}

namespace doplet {

class TFVersion1 final : public QDialog {
    Q_OBJECT

public:
    explicit TFVersion1(QWidget* parent = nullptr);
    ~TFVersion1() override;
    TFVersion1(const TFVersion1&) = delete;
    TFVersion1& operator=(const TFVersion1&) = delete;
    TFVersion1(TFVersion1&&) = delete;
    TFVersion1& operator=(TFVersion1&&) = delete;

    // The first showing centres the frame on the screen; later showings keep wherever it was.
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OKButtonClick();

    std::unique_ptr<Ui::TFVersion1> ui;
    bool placed_ = false;
};

} // namespace doplet
