#include "ui/theme/CircuitTexture.h"

#include "ui/theme/PaletteTheme.h"

CircuitTexture::CircuitTexture(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CircuitTexture::setStyle(const Style& style)
{
    m_style = style;
    update();
}

CircuitTexture::Geometry CircuitTexture::geometry(const QSizeF& size, qreal s)
{
    Geometry g;
    // A zero, negative or NaN pitch would never advance.
    if (!(s > 0)) return g;
    const qreal w = size.width();
    const qreal h = size.height();
    for (qreal x = s; x < w; x += s) g.verticals << x;
    for (qreal y = s; y < h; y += s) {
        g.rows << y;
        if (s < w) {
            for (qreal x = s; x < w; x += 2 * s) g.nodes << QPointF(x, y);
        }
    }
    return g;
}

void CircuitTexture::paint(QPainter& p, const QRectF& area, const Style& style)
{
    const Geometry g = geometry(area.size(), style.spacing);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(area.topLeft());
    p.setPen(QPen(withOpacity(style.color, style.opacity), 0.5));
    for (qreal x : g.verticals) p.drawLine(QPointF(x, 0), QPointF(x, area.height()));
    for (qreal y : g.rows) p.drawLine(QPointF(0, y), QPointF(area.width(), y));
    p.setPen(Qt::NoPen);
    p.setBrush(withOpacity(style.color, style.opacity * 1.6));
    for (const QPointF& n : g.nodes) p.drawEllipse(QRectF(n.x() - 0.75, n.y() - 0.75, 1.5, 1.5));
    p.restore();
}

void CircuitTexture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, rect(), m_style);
}
