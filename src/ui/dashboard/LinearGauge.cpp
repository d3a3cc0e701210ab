#include "ui/dashboard/LinearGauge.h"

#include "ui/theme/PaletteTheme.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

LinearGauge::LinearGauge(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LinearGauge::setRange(double minimum, double maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    update();
}

void LinearGauge::setValue(double value)
{
    if (value == m_value) return;
    // A reading that moves the marker by less than a device pixel is kept but not drawn.
    const double scale = std::max<double>(0, width() - markerSide) * devicePixelRatioF();
    const double before = std::round(fraction() * scale);
    m_value = value;
    if (std::round(fraction() * scale) != before || scale <= 0) update();
}

double LinearGauge::fraction() const
{
    if (!(m_maximum > m_minimum) || !std::isfinite(m_value)) return 0;
    return std::clamp((m_value - m_minimum) / (m_maximum - m_minimum), 0.0, 1.0);
}

void LinearGauge::setTint(const QList<QColor>& stops)
{
    if (stops == m_tint) return;
    m_tint = stops;
    update();
}

void LinearGauge::setValueText(const QString& text, const QFont& font, const QColor& color)
{
    if (text == m_valueText && font == m_valueFont && color == m_valueColor) return;
    const bool resized = text.isEmpty() != m_valueText.isEmpty() || font != m_valueFont;
    m_valueText = text;
    m_valueFont = font;
    m_valueColor = color;
    if (resized) updateGeometry();
    update();
}

QSize LinearGauge::sizeHint() const
{
    int h = int(markerSide);
    if (!m_valueText.isEmpty()) h += QFontMetrics(m_valueFont).height() + 4;
    return {120, h};
}

QSize LinearGauge::minimumSizeHint() const
{
    return {40, sizeHint().height()};
}

void LinearGauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    qreal top = 0;
    if (!m_valueText.isEmpty()) {
        const QFontMetrics fm(m_valueFont);
        p.setFont(m_valueFont);
        p.setPen(m_valueColor);
        p.drawText(QRectF(0, 0, width(), fm.height()), Qt::AlignLeft | Qt::AlignVCenter, m_valueText);
        top = fm.height() + 4;
    }
    const qreal inset = markerSide / 2;
    const QRectF track(inset, top + (markerSide - trackHeight) / 2, std::max<qreal>(0, width() - 2 * inset),
                       trackHeight);
    QPainterPath capsule;
    capsule.addRoundedRect(track, trackHeight / 2, trackHeight / 2);
    p.fillPath(capsule, stopsBrush(m_tint, track.topLeft(), track.topRight()));

    const QPointF centre(track.left() + track.width() * fraction(), track.center().y());
    p.setPen(QPen(QColor(0, 0, 0, 140), 1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, markerSide / 2 - 1, markerSide / 2 - 1);
}
