#pragma once

#include <QColor>
#include <QImage>
#include <QList>
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

// How many blurs tintedBlur has made in this process so far.
int blursMade();

// A layer covering `area` grown by `margin` on every side, at the painter's pixel ratio, with
// `content` drawn into it in the same coordinates as on `p`.
QImage layer(const QPainter& p, const QRectF& area, qreal margin, const std::function<void(QPainter&)>& content);

// Draws a blurred, tinted copy of `content` under whatever is drawn next, shifted by `offset`.
void drawShadow(QPainter& p, const QRectF& area, const QColor& color, qreal radius, QPointF offset,
                const std::function<void(QPainter&)>& content);

// How far a shadow of this radius reaches past its shape.
qreal reach(qreal radius);

// drawShadow for a widget that paints the same shadow again and again (every hover frame):
// the blurred image is kept and blurred anew only when the area's size, pixel ratio, colour,
// radius or the caller's shape key change; moving the area reuses it. A few variants are kept
// (a button's hovered and resting shadow). `content` must draw its shape relative to the area;
// the shape key names what it draws apart from the area's size (a corner radius);
// invalidate() when something else it draws changed.
class Cache {
public:
    void draw(QPainter& p, const QRectF& area, const QColor& color, qreal radius, QPointF offset, quint64 shapeKey,
              const std::function<void(QPainter&)>& content);
    void invalidate() { m_entries.clear(); }
    // Blurs made so far (the rest of the draws reused one).
    int blurs() const { return m_blurs; }

private:
    struct Entry {
        QSizeF size;
        qreal dpr;
        quint64 color;
        qreal radius;
        quint64 shapeKey;
        QImage image;
    };
    static constexpr int kKept = 4;
    QList<Entry> m_entries;  // most recently used first
    int m_blurs = 0;
};

}  // namespace Shadow
