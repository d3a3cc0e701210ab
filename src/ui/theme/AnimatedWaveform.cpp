#include "ui/theme/AnimatedWaveform.h"

#include "ui/theme/NeonGlowModifier.h"
#include "ui/theme/Shadow.h"
#include "ui/theme/TintedMask.h"

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
    const QPolygonF shape = points(samples, area.size());
    if (shape.isEmpty()) return;
    const QPolygonF line = shape.translated(area.topLeft());
    const qreal w = area.width(), h = area.height();
    const NeonGlowModifier glow{t.accentGlow, 5, t.enableNeonGlow};
    glow.paint(p, area, [&](QPainter& lp) {
        // Redrawn after every sample: what is translucent or a gradient (the base line, the band
        // under the curve, a glowing curve's colours) is drawn as an opaque shape and tinted in
        // bands, which the raster engine keeps on this thread.
        const qreal dpr = lp.device() ? lp.device()->devicePixelRatioF() : 1.0;
        const QSize size(int(std::ceil(w)), int(std::ceil(h)));
        const auto tinted = [&](const QBrush& deviceBrush, const std::function<void(QPainter&)>& draw) {
            lp.drawImage(area.topLeft(), tintedMask(size, dpr, draw, deviceBrush));
        };
        tinted(withOpacity(t.border, 0.5), [&](QPainter& m) {
            m.setPen(QPen(Qt::white, 0.5));
            m.drawLine(QPointF(0, h), QPointF(w, h));
        });

        QLinearGradient band(QPointF(0, 0), QPointF(0, h * dpr));
        band.setColorAt(0, withOpacity(t.accent, 0.28));
        band.setColorAt(1, withOpacity(t.accent, 0.02));
        tinted(band, [&](QPainter& m) {
            QPainterPath fill;
            fill.addPolygon(shape);
            fill.lineTo(w, h);
            fill.lineTo(0, h);
            fill.closeSubpath();
            m.fillPath(fill, Qt::white);
        });

        lp.setRenderHint(QPainter::Antialiasing);
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
            // The curve runs from the second accent on the left to the accent on the right; its
            // round caps reach past the area by half the pen.
            const qreal reach = 1;
            QLinearGradient across(QPointF(reach * dpr, 0), QPointF((w + reach) * dpr, 0));
            across.setColorAt(0, t.accentSecondary);
            across.setColorAt(1, t.accent);
            pen.setColor(Qt::white);
            pen.setWidthF(2);
            const QImage curve = tintedMask(QSize(size.width() + 2 * int(reach), size.height() + 2 * int(reach)), dpr,
                                            [&](QPainter& m) {
                                                m.setPen(pen);
                                                m.drawPolyline(shape.translated(reach, reach));
                                            },
                                            across);
            lp.drawImage(area.topLeft() - QPointF(reach, reach), curve);
        } else {
            pen.setColor(t.accent);
            pen.setWidthF(1.5);
            lp.setPen(pen);
            lp.setBrush(Qt::NoBrush);
            lp.drawPolyline(line);
        }

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
