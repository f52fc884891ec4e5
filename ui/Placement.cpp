#include "Placement.h"

#include "Frontend.h"

#include <QApplication>
#include <QEvent>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <utility>

namespace doplet {

namespace {

// How long after a placement the window system may take to tell a window's frame.
constexpr int kFrameWaitMs = 2'000;

QPoint FitOnScreen(const QRect& frame, const QRect& available) {
    const frontend::Point place = frontend::FitOnScreen(
        {frame.left(), frame.top(), frame.width(), frame.height()},
        {available.left(), available.top(), available.width(), available.height()});
    return {place.x, place.y};
}

// The frame around the window's client area, once the window system has told it (a hidden window
// keeps the frame it had when last shown).
std::optional<QMargins> KnownFrame(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    if (frame == client) {
        return std::nullopt;
    }
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

// The window's own frame, or else that of another visible window of the program, or none.
QMargins LikelyFrame(const QWidget& window) {
    if (const std::optional<QMargins> own = KnownFrame(window)) {
        return *own;
    }
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other != &window) {
            if (const std::optional<QMargins> frame = KnownFrame(*other)) {
                return *frame;
            }
        }
    }
    return {};
}

void Place(QWidget& window, const FrameRule& rule) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return;
    }
    const QMargins margins = LikelyFrame(window);
    const QSize outer = window.size().grownBy(margins);
    const QPoint place =
        FitOnScreen(QRect(rule(outer, screen->geometry()), outer), screen->availableGeometry());
    if (window.testAttribute(Qt::WA_WState_Created) && !KnownFrame(window)) {
        // A window that exists but has no frame yet is moved by its client area.
        window.move(place + QPoint(margins.left(), margins.top()));
    } else {
        window.move(place); // by the frame
    }
}

// Places a window again once the window system has given it its frame, then goes.
class FrameWatch final : public QObject {
public:
    FrameWatch(QWidget& window, FrameRule rule)
        : QObject(&window), window_(window), rule_(std::move(rule)) {
        setObjectName(QStringLiteral("FrameWatch")); // found by whoever must wait for the frame
        window.installEventFilter(this);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, &FrameWatch::finish);
        timer_.start(kFrameWaitMs);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The frame is told with the window's first move, resize, showing or painting.
        static constexpr QEvent::Type kTold[] = {QEvent::Move, QEvent::Resize, QEvent::Show,
                                                 QEvent::Paint, QEvent::WindowActivate};
        if (watched == &window_ && !told_ && std::ranges::count(kTold, event->type()) > 0 &&
            KnownFrame(window_)) {
            told_ = true;
            window_.removeEventFilter(this);
            timer_.start(0); // placed once this event has been handled
        }
        return false;
    }

private:
    void finish() {
        if (told_) {
            Place(window_, rule_);
        }
        deleteLater();
    }

    QWidget& window_;
    FrameRule rule_;
    QTimer timer_;
    bool told_ = false;
};

} // namespace

void PlaceFrame(QWidget& window, const FrameRule& rule) {
    Place(window, rule);
    if (!KnownFrame(window)) {
        new FrameWatch(window, rule);
    }
}

FrameRule FixedPlace(QPoint place) {
    return [place](const QSize&, const QRect& screen) { return screen.topLeft() + place; };
}

} // namespace doplet
