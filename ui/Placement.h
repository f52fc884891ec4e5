#pragma once

// Where the windows go: every place and size the windows are given is that of the frame (title bar
// and borders included), and a window whose frame would not fit the screen's available area is
// moved by the least amount that brings it onto it (frontend::FitOnScreen).

#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace doplet {

// Where a frame of this outer size goes on a screen of this full area.
using FrameRule = std::function<QPoint(const QSize& outer, const QRect& screen)>;

// Places the window's frame by the rule, fitted onto its screen. Before a window has been shown its
// frame is not known yet: the frame of another visible window stands in for it, and the window is
// placed again once the window system has given it its own.
void PlaceFrame(QWidget& window, const FrameRule& rule);

// A rule for a fixed place, counted from the screen's top-left corner.
FrameRule FixedPlace(QPoint place);

} // namespace doplet
