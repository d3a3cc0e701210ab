#include "ui/theme/HexGauge.h"

#include "ui/theme/FrameTicker.h"
#include "ui/theme/NeonGlowModifier.h"
#include "ui/theme/Shadow.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kRad = std::numbers::pi / 180.0;

QPointF onCircle(QPointF c, qreal r, double degrees)
{
    return {c.x() + r * std::cos(degrees * kRad), c.y() + r * std::sin(degrees * kRad)};
}

// Colours laid clockwise on screen from `startDegrees` (Qt's conical gradient runs the other way).
QConicalGradient clockwiseConic(QPointF centre, double startDegrees, const QList<QColor>& colors)
{
    QConicalGradient g(centre, -startDegrees);
    const qsizetype n = colors.size();
    for (qsizetype i = 0; i < n; ++i) g.setColorAt(n == 1 ? 0 : 1.0 - double(i) / double(n - 1), colors[i]);
    return g;
}

QPainterPath arcPath(QPointF c, qreal r, double from, double sweep)
{
    QPainterPath path;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    path.arcMoveTo(box, -from);
    path.arcTo(box, -from, -sweep);
    return path;
}

// The classic arc's colours laid once over the whole face, at `dpr`.
QImage classicArcFill(const QRectF& area, qreal dpr, const QList<QColor>& colors)
{
    QImage fill((area.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    fill.setDevicePixelRatio(dpr);
    QPainter fp(&fill);
    fp.setCompositionMode(QPainter::CompositionMode_Source);
    const QRectF face(QPointF(0, 0), area.size());
    fp.fillRect(face, QBrush(clockwiseConic(face.center(), -90, colors)));
    return fill;
}

// Strokes `path` in the colours of `fill` (which covers `area`): a plain stroke gives the
// coverage and the colours are laid in through it. Stroking with the gradient itself costs ten
// times as much, and the rasteriser hands such fills to its worker threads.
void strokeThroughFill(QPainter& p, const QRectF& area, const QPainterPath& path, qreal width, const QImage& fill)
{
    QImage layer(fill.size(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(fill.devicePixelRatio());
    layer.fill(Qt::transparent);
    QPainter lp(&layer);
    lp.setRenderHint(QPainter::Antialiasing);
    lp.translate(-area.topLeft());
    lp.setPen(QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap));
    lp.drawPath(path);
    lp.resetTransform();
    lp.setCompositionMode(QPainter::CompositionMode_SourceIn);
    lp.drawImage(QPointF(0, 0), fill);
    lp.end();
    p.drawImage(area.topLeft(), layer);
}

void paintLabel(QPainter& p, const QRectF& area, const QString& label, const QFont& font, const PaletteTheme& t, bool hexFace)
{
    if (label.isEmpty()) return;
    p.save();
    p.setFont(font);
    const QFontMetricsF fm(font);
    if (!hexFace) {
        p.setPen(t.mono);
        p.drawText(area, Qt::AlignCenter, label);
        p.restore();
        return;
    }
    const QSizeF textSize(fm.horizontalAdvance(label), fm.height());
    const QRectF padded(area.center() - QPointF(textSize.width() / 2 + 5, textSize.height() / 2 + 2),
                        QSizeF(textSize.width() + 10, textSize.height() + 4));
    const qreal d = std::min(padded.width(), padded.height());
    const QRectF disc(padded.center() - QPointF(d / 2, d / 2), QSizeF(d, d));
    auto draw = [&](QPainter& lp) {
        const QImage backdrop = Shadow::layer(lp, disc, 3, [&](QPainter& bp) {
            bp.setPen(Qt::NoPen);
            bp.setBrush(withOpacity(t.background, 0.72));
            bp.drawEllipse(disc);
        });
        // The backdrop's shape already carries the 0.72; a tint at 0.72 again would leave ~52 %.
        lp.drawImage(disc.topLeft() - QPointF(3, 3),
                     Shadow::tintedBlur(backdrop, withOpacity(t.background, 1.0), 1.5 * backdrop.devicePixelRatio()));
        lp.setFont(font);
        lp.setPen(t.mono);
        lp.drawText(padded, Qt::AlignCenter, label);
    };
    Shadow::drawShadow(p, padded, withOpacity(Qt::black, 0.8), 2, {}, draw);
    draw(p);
    p.restore();
}

}  // namespace

HexGauge::HexGauge(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_theme(this, themes)
{
    setFixedSize(80, 80);
    m_ticker = new FrameTicker(this, frameMs, [this](double dt) {
        const bool moving = m_settled.step(dt);
        // A frame is drawn only once the arc's end has moved by a device pixel, and the last
        // one at rest: a reading that changes by a few percent redraws a few times, not thirty.
        if (!moving || std::abs(m_settled.value() - m_requested) >= visibleStep()) {
            m_requested = m_settled.value();
            update();
        }
        // The spring's path is known: the loop wakes again when it next shows a change (the
        // slow end of the settling moves less than a pixel for many frames).
        if (moving) m_ticker->delayNext(msUntilVisibleChange());
        return moving;
    });
}

bool HexGauge::isAnimating() const
{
    return m_ticker->isRunning();
}

void HexGauge::setValue(double value)
{
    m_value = value;
    follow();
}

void HexGauge::setLabel(const QString& label)
{
    if (label == m_label) return;
    m_label = label;
    update();
}

void HexGauge::setTickCount(int count)
{
    m_tickCount = count;
    update();
}

void HexGauge::setSweepDegrees(double degrees)
{
    m_sweepDegrees = degrees;
    update();
}

void HexGauge::setArcStops(std::optional<QList<QColor>> stops)
{
    m_arcStops = std::move(stops);
    update();
}

void HexGauge::follow()
{
    m_settled.setTarget(settleTarget(m_value));
    if (!m_settled.atRest()) m_ticker->request();
}

void HexGauge::showEvent(QShowEvent*)
{
    follow();
}

double HexGauge::settleTarget(double value)
{
    if (std::isnan(value)) return 0;
    return std::clamp(value, 0.0, 1.0);
}

QList<QColor> HexGauge::arcColors(const std::optional<QList<QColor>>& arcStops, const PaletteTheme& t)
{
    if (arcStops && arcStops->size() >= 2) return *arcStops;
    return {t.accentSecondary, t.accent, t.accentGlow};
}

QPolygonF HexGauge::hexagon(QPointF c, qreal r)
{
    return QPolygonF{{c.x(), c.y() - r},           {c.x() + 0.866 * r, c.y() - 0.5 * r}, {c.x() + 0.866 * r, c.y() + 0.5 * r},
                     {c.x(), c.y() + r},           {c.x() - 0.866 * r, c.y() + 0.5 * r}, {c.x() - 0.866 * r, c.y() - 0.5 * r},
                     {c.x(), c.y() - r}};
}

HexGauge::Geometry HexGauge::geometry(const QSizeF& size, double settled, int tickCount, double sweepDegrees)
{
    Geometry g;
    g.centre = QPointF(size.width() / 2, size.height() / 2);
    g.radius = std::min(size.width(), size.height()) / 2 - 4;
    g.sweep = sweepDegrees;
    g.startAngle = (360 - sweepDegrees) / 2 + 90;
    const qreal r = g.radius;
    // A scale without intervals has no ticks (and must not divide by zero).
    if (tickCount >= 1) {
        for (int i = 0; i <= tickCount; ++i) {
            const double f = double(i) / double(tickCount);
            const double angle = g.startAngle + sweepDegrees * f;
            g.ticks << Tick{angle, onCircle(g.centre, r - 3, angle), onCircle(g.centre, r - 8, angle), f <= settled + 0.0001,
                            i % 5 == 0};
        }
    }
    g.showArc = settled > 0.001;
    g.arcEnd = g.startAngle + sweepDegrees * settled;
    g.coreRadius = r - 14;
    g.coreFillRadius = (r - 14) * std::max(settled, 0.12);
    return g;
}

void HexGauge::paintClassicRing(QPainter& p, const QRectF& area, const PaletteTheme& t)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = area.center();
    const qreal r = std::min(area.width(), area.height()) / 2 - 2;
    p.setPen(QPen(t.border, 4, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.restore();
}

void HexGauge::paintClassic(QPainter& p, const QRectF& area, double settled, const QString& label,
                            const std::optional<QList<QColor>>& arcStops, const PaletteTheme& t)
{
    paintClassicRing(p, area, t);
    paintClassicValue(p, area, settled, label, arcStops, t);
}

void HexGauge::paintClassicValue(QPainter& p, const QRectF& area, double settled, const QString& label,
                                 const std::optional<QList<QColor>>& arcStops, const PaletteTheme& t,
                                 const QImage* arcFill)
{
    const QPointF c = area.center();
    const qreal r = std::min(area.width(), area.height()) / 2 - 2;
    const double trim = std::max(settled, 0.02);
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const QImage fill = arcFill ? *arcFill : classicArcFill(area, dpr, arcColors(arcStops, t));
    strokeThroughFill(p, area, arcPath(c, r, -90, 360 * trim), 4, fill);

    paintLabel(p, area, label, t.monoFont.font(QFont::DemiBold), t, false);
}

void HexGauge::paintHex(QPainter& p, const QRectF& area, double settled, const QString& label, int tickCount,
                        double sweepDegrees, const std::optional<QList<QColor>>& arcStops, const PaletteTheme& t)
{
    const Geometry g = geometry(area.size(), settled, tickCount, sweepDegrees);
    const QPointF c = g.centre + area.topLeft();
    const qreal r = g.radius;
    const QList<QColor> colors = arcColors(arcStops, t);
    const NeonGlowModifier glow{withOpacity(t.accentGlow, 0.55), 5, t.enableNeonGlow};
    glow.paint(p, area, [&](QPainter& lp) {
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setBrush(Qt::NoBrush);
        lp.setPen(QPen(withOpacity(t.border, 0.9), 2));
        lp.drawEllipse(c, r, r);
        lp.setPen(QPen(withOpacity(t.accentSecondary, 0.28), 1));
        lp.drawEllipse(c, r - 5, r - 5);

        lp.setPen(QPen(withOpacity(t.surfaceElevated, 0.85), 5, Qt::SolidLine, Qt::RoundCap));
        lp.drawPath(arcPath(c, r - 9, g.startAngle, g.sweep));

        for (const Tick& tick : g.ticks) {
            lp.setPen(QPen(tick.lit ? withOpacity(t.accent, 0.9) : withOpacity(t.textDim, 0.22), tick.wide ? 1.6 : 0.9));
            lp.drawLine(tick.outer + area.topLeft(), tick.inner + area.topLeft());
        }

        if (g.showArc) {
            const QPainterPath progress = arcPath(c, r - 9, g.startAngle, g.sweep * settled);
            lp.setPen(QPen(QBrush(clockwiseConic(c, g.startAngle, colors)), 5, Qt::SolidLine, Qt::RoundCap));
            lp.drawPath(progress);
            if (t.enableNeonGlow) {
                const QImage stroke = Shadow::layer(lp, area, 6, [&](QPainter& sp) {
                    sp.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
                    sp.drawPath(progress);
                });
                lp.drawImage(area.topLeft() - QPointF(6, 6),
                             Shadow::tintedBlur(stroke, withOpacity(t.accentGlow, 0.35), 3 * stroke.devicePixelRatio()));
            }
        }

        lp.setPen(QPen(withOpacity(t.accentSecondary, 0.3), 1));
        lp.drawPolygon(hexagon(c, g.coreRadius));
        QRadialGradient core(c, std::max<qreal>(g.coreFillRadius, 1));
        core.setColorAt(0, withOpacity(t.accent, 0.6));
        core.setColorAt(1, withOpacity(t.accentGlow, 0.22));
        lp.setPen(Qt::NoPen);
        lp.setBrush(core);
        lp.drawPolygon(hexagon(c, g.coreFillRadius));

        lp.save();
        QPainterPath glass;
        glass.addEllipse(c, r - 1, r - 1);
        lp.setClipPath(glass);
        QLinearGradient shine(QPointF(c.x() - r, c.y() - r), c);
        shine.setColorAt(0, withOpacity(Qt::white, 0.14));
        shine.setColorAt(0.35, withOpacity(Qt::white, 0.03));
        shine.setColorAt(0.6, Qt::transparent);
        shine.setColorAt(1, Qt::transparent);
        lp.fillPath(glass, shine);
        lp.restore();
    });
    paintLabel(p, area, label, t.monoFont.font(QFont::Bold), t, true);
}

int HexGauge::msUntilVisibleChange() const
{
    SpringValue ahead = m_settled;
    const double step = visibleStep();
    int ms = frameMs;
    for (; ms < maxFrameGapMs; ms += frameMs) {
        if (!ahead.step(frameMs / 1000.0) || std::abs(ahead.value() - m_requested) >= step) break;
    }
    return ms;
}

double HexGauge::visibleStep() const
{
    // The longest path that moves with the value is the classic face's full ring (about 2 pi
    // times the radius); one device pixel of it.
    const double ring = 2 * std::numbers::pi * (std::min(width(), height()) / 2.0);
    return 1.0 / (std::max(ring, 1.0) * std::max(devicePixelRatioF(), 1.0));
}

void HexGauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const PaletteTheme& t = m_theme.theme();
    const QRectF area(0, 0, 80, 80);
    if (t.gaugeStyle == GaugeStyle::hex) {
        paintHex(p, area, settled(), m_label, m_tickCount, m_sweepDegrees, m_arcStops, t);
        return;
    }
    // The ring under the arc depends on the palette alone: drawn once, then copied.
    const qreal dpr = devicePixelRatioF();
    if (m_ringTheme != t.id || m_ring.devicePixelRatio() != dpr || m_ring.isNull()) {
        m_ring = QImage((area.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_ring.setDevicePixelRatio(dpr);
        m_ring.fill(Qt::transparent);
        QPainter rp(&m_ring);
        paintClassicRing(rp, area, t);
        m_ringTheme = t.id;
    }
    p.drawImage(area.topLeft(), m_ring);
    const QList<QColor> colors = arcColors(m_arcStops, t);
    if (m_arcFillColors != colors || m_arcFill.devicePixelRatio() != dpr || m_arcFill.isNull()) {
        m_arcFill = classicArcFill(area, dpr, colors);
        m_arcFillColors = colors;
    }
    paintClassicValue(p, area, settled(), m_label, m_arcStops, t, &m_arcFill);
}
