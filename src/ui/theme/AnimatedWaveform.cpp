#include "ui/theme/AnimatedWaveform.h"

#include "ui/theme/NeonGlowModifier.h"
#include "ui/theme/Shadow.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>

AnimatedWaveform::AnimatedWaveform(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_theme(this, themes)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setChartHeight(40);
}

void AnimatedWaveform::setSamples(QList<double> samples)
{
    if (samples == m_samples) return;
    m_samples = std::move(samples);
    update();
}

void AnimatedWaveform::setChartHeight(int height)
{
    setFixedHeight(height);
}

QSize AnimatedWaveform::sizeHint() const
{
    return {160, height()};
}

QPolygonF AnimatedWaveform::points(const QList<double>& samples, const QSizeF& size)
{
    QPolygonF out;
    const qsizetype n = samples.size();
    if (n < 2) return out;
    const qreal step = size.width() / qreal(n - 1);
    for (qsizetype k = 0; k < n; ++k) {
        const double v = samples[k];
        const double c = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
        out << QPointF(qreal(k) * step, (1 - c) * size.height());
    }
    return out;
}

void AnimatedWaveform::paint(QPainter& p, const QRectF& area, const QList<double>& samples, const PaletteTheme& t)
{
    const QPolygonF line = points(samples, area.size()).translated(area.topLeft());
    if (line.isEmpty()) return;
    const qreal w = area.width();
    const NeonGlowModifier glow{t.accentGlow, 5, t.enableNeonGlow};
    glow.paint(p, area, [&](QPainter& lp) {
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setPen(QPen(withOpacity(t.border, 0.5), 0.5));
        lp.drawLine(area.bottomLeft(), area.bottomRight());

        QPainterPath fill;
        fill.addPolygon(line);
        fill.lineTo(area.right(), area.bottom());
        fill.lineTo(area.left(), area.bottom());
        fill.closeSubpath();
        QLinearGradient band(area.topLeft(), area.bottomLeft());
        band.setColorAt(0, withOpacity(t.accent, 0.28));
        band.setColorAt(1, withOpacity(t.accent, 0.02));
        lp.fillPath(fill, band);

        if (t.enableNeonGlow) {
            const QImage stroke = Shadow::layer(lp, area, 4, [&](QPainter& sp) {
                sp.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                sp.drawPolyline(line);
            });
            lp.drawImage(area.topLeft() - QPointF(4, 4),
                         Shadow::tintedBlur(stroke, withOpacity(t.accentGlow, 0.5), 2.5 * stroke.devicePixelRatio()));
        }

        QPen pen;
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        pen.setMiterLimit(10);
        if (t.enableNeonGlow) {
            QLinearGradient across(area.topLeft(), QPointF(area.left() + w, area.top()));
            across.setColorAt(0, t.accentSecondary);
            across.setColorAt(1, t.accent);
            pen.setBrush(across);
            pen.setWidthF(2);
        } else {
            pen.setColor(t.accent);
            pen.setWidthF(1.5);
        }
        lp.setPen(pen);
        lp.setBrush(Qt::NoBrush);
        lp.drawPolyline(line);

        lp.setPen(Qt::NoPen);
        lp.setBrush(t.accent);
        lp.drawEllipse(line.last(), 2, 2);
    });
}

void AnimatedWaveform::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, rect(), m_samples, m_theme.theme());
}
