#include "ui/theme/ScanLineOverlay.h"

#include "ui/theme/PaletteTheme.h"

#include <QPaintEvent>

ScanLineOverlay::ScanLineOverlay(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void ScanLineOverlay::setLinesEnabled(bool enabled)
{
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    update();
}

void ScanLineOverlay::setColor(const QColor& color)
{
    if (color == m_color) return;
    m_color = color;
    update();
}

QList<QRectF> ScanLineOverlay::bands(const QSizeF& size)
{
    QList<QRectF> out;
    if (!(size.height() > 0) || !(size.width() > 0)) return out;
    for (qreal y = 0; y < size.height(); y += 4) out << QRectF(0, y, size.width(), 1);
    return out;
}

void ScanLineOverlay::paint(QPainter& p, const QRectF& area, bool enabled, const QColor& color)
{
    if (!enabled) return;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    const QColor band = withOpacity(color, 0.04);
    for (const QRectF& r : bands(area.size())) p.fillRect(r.translated(area.topLeft()), band);
    p.restore();
}

void ScanLineOverlay::paintEvent(QPaintEvent* e)
{
    if (!m_enabled) return;
    // Only the bands crossing the area to redraw (an animation under the overlay redraws a
    // small part of it many times).
    QPainter p(this);
    const int first = e->rect().top() / 4 * 4;
    const QRectF band(0, first, width(), e->rect().bottom() + 1 - first);
    paint(p, band, m_enabled, m_color);
}
