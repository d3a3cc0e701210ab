#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

// Keeps top-level windows inside the part of their screen that windows may use (the screen less
// its panels, in the same scaled units as the window): a small screen or a large scale factor
// never leaves a window's edge, title bar or controls beyond reach.
namespace WindowFit {

// A decorated window's frame before the window manager has drawn one: room for a title bar and
// thin borders.
inline constexpr QMargins assumedFrame{4, 32, 4, 4};

// The usable area of the screen `window` is on (the primary screen when it has none yet).
QRect availableArea(const QWidget& window);

// What a frame of `margins` leaves for the window's content inside `area`.
QSize contentLimit(const QRect& area, const QMargins& margins);

// Sizes `window` to `wanted` and its minimum to `minimum`, each cut to what its screen's area
// leaves, and centres it there. Once shown, the window manager's real frame is measured and the
// window is moved (and shrunk) so its frame lies within the area.
void fit(QWidget& window, QSize wanted, QSize minimum);

// Moves and shrinks a shown window (frame included) into its screen's area; keeps its place when
// it already lies inside.
void keepInside(QWidget& window);

}  // namespace WindowFit
