#pragma once

#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>

// Images drawn pixel for pixel. An image made at the device's pixel ratio and drawn at a point
// in logical coordinates reaches the rasteriser as a scaled drawing (logical size against
// device pixels), which it lays in as a texture and, past a few dozen rows, hands to its worker
// threads; drawn here in device pixels it is a plain copy on this thread.
namespace Blit {

// Draws `source` (in the image's pixels; all of it when null) of `image` with its top left at
// `at`, in the painter's logical coordinates. Under a rotation or a scale of the painter's own
// it draws as QPainter does.
void draw(QPainter& p, const QPointF& at, const QImage& image, const QRect& source = QRect());

}  // namespace Blit
