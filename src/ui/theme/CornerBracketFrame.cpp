#include "ui/theme/CornerBracketFrame.h"

#include "ui/theme/NeonGlowModifier.h"

#include <QImage>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

CornerBracketFrame::CornerBracketFrame(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CornerBracketFrame::setStyle(const Style& style)
{
    m_style = style;
    m_cache = {};
    update();
}

QList<QPolygonF> CornerBracketFrame::brackets(const QSizeF& size, qreal i, qreal l)
{
    const qreal r = size.width() - i;
    const qreal b = size.height() - i;
    return {
        QPolygonF{{i, i + l}, {i, i}, {i + l, i}},
        QPolygonF{{r - l, i}, {r, i}, {r, i + l}},
        QPolygonF{{r, b - l}, {r, b}, {r - l, b}},
        QPolygonF{{i + l, b}, {i, b}, {i, b - l}},
    };
}

QColor CornerBracketFrame::glowColor(const Style& style)
{
    return style.glow.value_or(style.color);
}

void CornerBracketFrame::paint(QPainter& p, const QRectF& area, const Style& s)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (s.hairline) {
        QPen pen(*s.hairline, 0.75, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QRectF frame = area.adjusted(s.inset, s.inset, -s.inset, -s.inset);
        p.drawRoundedRect(frame, s.cornerRadius, s.cornerRadius);
    }
    const NeonGlowModifier glow{glowColor(s), 4, s.enableGlow};
    glow.paint(p, area, [&](QPainter& lp) {
        QPen pen(s.color, s.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        pen.setMiterLimit(10);
        lp.setPen(pen);
        lp.setBrush(Qt::NoBrush);
        for (const QPolygonF& line : brackets(area.size(), s.inset, s.bracketLength)) lp.drawPolyline(line.translated(area.topLeft()));
    });
    p.restore();
}

QImage CornerBracketFrame::render(const QSizeF& size, const Style& style, qreal dpr)
{
    QImage img(std::max(1, int(std::ceil(size.width() * dpr))), std::max(1, int(std::ceil(size.height() * dpr))),
               QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    QPainter p(&img);
    paint(p, QRectF(QPointF(0, 0), size), style);
    return img;
}

void CornerBracketFrame::paintEvent(QPaintEvent*)
{
    const qreal dpr = devicePixelRatioF();
    if (m_cache.isNull() || m_cache.deviceIndependentSize() != QSizeF(size()) || m_cache.devicePixelRatio() != dpr)
        m_cache = render(size(), m_style, dpr);
    QPainter p(this);
    p.drawImage(QPointF(0, 0), m_cache);
}
