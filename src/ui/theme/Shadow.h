#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <functional>

// Soft shadows and blurred layers for the painters: the shape of whatever a function draws,
// blurred and tinted. Sizes are in logical points; the device pixel ratio is taken from the
// painter's device.
namespace Shadow {

// Blur of an image's alpha, tinted with `color` (premultiplied ARGB, same size). The radius is
// in pixels and reads like a shadow radius: about twice the standard deviation.
QImage tintedBlur(const QImage& source, const QColor& color, qreal radiusPx);

// A layer covering `area` grown by `margin` on every side, at the painter's pixel ratio, with
// `content` drawn into it in the same coordinates as on `p`.
QImage layer(const QPainter& p, const QRectF& area, qreal margin, const std::function<void(QPainter&)>& content);

// Draws a blurred, tinted copy of `content` under whatever is drawn next, shifted by `offset`.
void drawShadow(QPainter& p, const QRectF& area, const QColor& color, qreal radius, QPointF offset,
                const std::function<void(QPainter&)>& content);

// How far a shadow of this radius reaches past its shape.
qreal reach(qreal radius);

}  // namespace Shadow
