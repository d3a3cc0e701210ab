#include "ui/theme/HexGauge.h"

#include "ui/theme/Blit.h"
#include "ui/theme/FrameTicker.h"
#include "ui/theme/NeonGlowModifier.h"
#include "ui/theme/Shadow.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

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

// Colours an opaque-white coverage layer with `fill` (both premultiplied, the same size), in
// place: what SourceIn composition does, done here because the raster engine hands such
// compositions of more than a few dozen rows to its worker threads.
void colourThrough(QImage& layer, const QImage& fill)
{
    const int w = std::min(layer.width(), fill.width());
    const int h = std::min(layer.height(), fill.height());
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(layer.scanLine(y));
        const auto* in = reinterpret_cast<const QRgb*>(fill.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const uint a = qAlpha(out[x]);
            if (a == 0) continue;
            const QRgb f = in[x];
            out[x] = a == 255 ? f
                              : qRgba(int((qRed(f) * a + 127) / 255), int((qGreen(f) * a + 127) / 255),
                                      int((qBlue(f) * a + 127) / 255), int((qAlpha(f) * a + 127) / 255));
        }
    }
}

// Strokes `path` in the colours of `fill` (which covers `area`): a plain opaque stroke gives the
// coverage and the colours are laid in through it. Stroking with the gradient itself costs ten
// times as much, and the rasteriser hands such fills, and translucent ones, to its worker
// threads; an opaque stroke and an image drawn unscaled stay on this thread.
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
    lp.end();
    colourThrough(layer, fill);
    Blit::draw(p, area.topLeft(), layer);
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
    // The disc, softened: blurred once, drawn in the shadow's shape and on the face.
    const QImage disc72 = Shadow::layer(p, disc, 3, [&](QPainter& bp) {
        bp.setPen(Qt::NoPen);
        bp.setBrush(withOpacity(t.background, 0.72));
        bp.drawEllipse(disc);
    });
    // The backdrop's shape already carries the 0.72; a tint at 0.72 again would leave ~52 %.
    const QImage backdrop = Shadow::tintedBlur(disc72, withOpacity(t.background, 1.0), 1.5 * disc72.devicePixelRatio());
    auto draw = [&](QPainter& lp) {
        lp.drawImage(disc.topLeft() - QPointF(3, 3), backdrop);
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

namespace {

// The parts of the instrument face, each in `lp`'s coordinates.
void drawRings(QPainter& lp, QPointF c, qreal r, const HexGauge::Geometry& g, const PaletteTheme& t)
{
    lp.setBrush(Qt::NoBrush);
    lp.setPen(QPen(withOpacity(t.border, 0.9), 2));
    lp.drawEllipse(c, r, r);
    lp.setPen(QPen(withOpacity(t.accentSecondary, 0.28), 1));
    lp.drawEllipse(c, r - 5, r - 5);
    lp.setPen(QPen(withOpacity(t.surfaceElevated, 0.85), 5, Qt::SolidLine, Qt::RoundCap));
    lp.drawPath(arcPath(c, r - 9, g.startAngle, g.sweep));
}

void drawTicks(QPainter& lp, QPointF offset, const QList<HexGauge::Tick>& ticks, const PaletteTheme& t, bool allLit = false)
{
    for (const HexGauge::Tick& tick : ticks) {
        const bool lit = allLit || tick.lit;
        lp.setPen(QPen(lit ? withOpacity(t.accent, 0.9) : withOpacity(t.textDim, 0.22), tick.wide ? 1.6 : 0.9));
        lp.drawLine(tick.outer + offset, tick.inner + offset);
    }
}

void drawOutline(QPainter& lp, QPointF c, const HexGauge::Geometry& g, const PaletteTheme& t)
{
    lp.setPen(QPen(withOpacity(t.accentSecondary, 0.3), 1));
    lp.setBrush(Qt::NoBrush);
    lp.drawPolygon(HexGauge::hexagon(c, g.coreRadius));
}

void drawCore(QPainter& lp, QPointF c, qreal radius, const PaletteTheme& t)
{
    QRadialGradient core(c, std::max<qreal>(radius, 1));
    core.setColorAt(0, withOpacity(t.accent, 0.6));
    core.setColorAt(1, withOpacity(t.accentGlow, 0.22));
    lp.setPen(Qt::NoPen);
    lp.setBrush(core);
    lp.drawPolygon(HexGauge::hexagon(c, radius));
}

void drawGlass(QPainter& lp, QPointF c, qreal r)
{
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
}

// A transparent layer covering `area` grown by `margin`, at `dpr`, with `content` drawn into it
// in the face's coordinates.
QImage faceLayer(const QRectF& area, qreal margin, qreal dpr, const std::function<void(QPainter&)>& content)
{
    const QRectF grown = area.adjusted(-margin, -margin, margin, margin);
    QImage img((grown.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    QPainter lp(&img);
    lp.setRenderHint(QPainter::Antialiasing);
    lp.setRenderHint(QPainter::TextAntialiasing);
    lp.translate(-grown.topLeft());
    content(lp);
    return img;
}

// The glow a NeonGlowModifier puts under `layer`, as an image of the same size.
QImage glowOf(const NeonGlowModifier& glow, const QImage& layer)
{
    QImage out(layer.size(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(layer.devicePixelRatio());
    out.fill(Qt::transparent);
    QPainter gp(&out);
    glow.paintGlow(gp, layer, QPointF(0, 0));
    return out;
}

}  // namespace


namespace {

void paintReferenceHex(QPainter& p, const QRectF& area, double settled, const QString& label, int tickCount,
                       double sweepDegrees, const std::optional<QList<QColor>>& arcStops, const PaletteTheme& t)
{
    const HexGauge::Geometry g = HexGauge::geometry(area.size(), settled, tickCount, sweepDegrees);
    const QPointF c = g.centre + area.topLeft();
    const qreal r = g.radius;
    const QList<QColor> colors = HexGauge::arcColors(arcStops, t);
    const NeonGlowModifier glow{withOpacity(t.accentGlow, 0.55), 5, t.enableNeonGlow};
    glow.paint(p, area, [&](QPainter& lp) {
        lp.setRenderHint(QPainter::Antialiasing);
        drawRings(lp, c, r, g, t);
        drawTicks(lp, area.topLeft(), g.ticks, t);
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
        drawOutline(lp, c, g, t);
        drawCore(lp, c, g.coreFillRadius, t);
        drawGlass(lp, c, r);
    });
    paintLabel(p, area, label, t.monoFont.font(QFont::Bold), t, true);
}

// `source` scaled by `scale` about `centre` (in its pixels), bilinearly, into `out` (the same
// size): the raster engine hands a scaled image of this size to its worker threads.
void scaleAbout(const QImage& source, QPointF centre, double scale, QImage& out)
{
    if (out.size() != source.size()) {
        out = QImage(source.size(), QImage::Format_ARGB32_Premultiplied);
        out.setDevicePixelRatio(source.devicePixelRatio());
    }
    const int w = source.width(), h = source.height();
    const double inverse = 1.0 / std::max(scale, 1e-3);
    for (int y = 0; y < h; ++y) {
        auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        const double sy = centre.y() + (y + 0.5 - centre.y()) * inverse - 0.5;
        const int y0 = int(std::floor(sy));
        const double fy = sy - y0;
        for (int x = 0; x < w; ++x) {
            const double sx = centre.x() + (x + 0.5 - centre.x()) * inverse - 0.5;
            const int x0 = int(std::floor(sx));
            const double fx = sx - x0;
            double acc[4] = {0, 0, 0, 0};
            for (int k = 0; k < 4; ++k) {
                const int px = x0 + (k & 1), py = y0 + (k >> 1);
                if (px < 0 || py < 0 || px >= w || py >= h) continue;
                const double weight = ((k & 1) ? fx : 1 - fx) * ((k >> 1) ? fy : 1 - fy);
                const QRgb v = reinterpret_cast<const QRgb*>(source.constScanLine(py))[px];
                acc[0] += weight * qRed(v);
                acc[1] += weight * qGreen(v);
                acc[2] += weight * qBlue(v);
                acc[3] += weight * qAlpha(v);
            }
            o[x] = qRgba(int(acc[0] + 0.5), int(acc[1] + 0.5), int(acc[2] + 0.5), int(acc[3] + 0.5));
        }
    }
}

// Keeps of `layer` what lies along the scale up to `upTo`, fading out over a few degrees past
// it, into `out` (the same size).
void keepAlong(const QImage& layer, const std::vector<float>& along, double upTo, double fade, QImage& out)
{
    if (out.size() != layer.size()) {
        out = QImage(layer.size(), QImage::Format_ARGB32_Premultiplied);
        out.setDevicePixelRatio(layer.devicePixelRatio());
    }
    const int w = layer.width();
    for (int y = 0; y < layer.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        const float* a = along.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const double keep = std::clamp((upTo + fade - a[x]) / (2 * fade), 0.0, 1.0);
            if (keep >= 1) o[x] = in[x];
            else if (keep <= 0) o[x] = 0;
            else {
                const uint k = uint(keep * 256);
                o[x] = qRgba(int((qRed(in[x]) * k) >> 8), int((qGreen(in[x]) * k) >> 8), int((qBlue(in[x]) * k) >> 8),
                             int((qAlpha(in[x]) * k) >> 8));
            }
        }
    }
}

}  // namespace

HexGauge::~HexGauge() = default;

QImage HexGauge::classicArcFill(const QRectF& area, qreal dpr, const QList<QColor>& colors)
{
    QImage fill((area.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    fill.setDevicePixelRatio(dpr);
    QPainter fp(&fill);
    fp.setCompositionMode(QPainter::CompositionMode_Source);
    const QRectF face(QPointF(0, 0), area.size());
    fp.fillRect(face, QBrush(clockwiseConic(face.center(), -90, colors)));
    return fill;
}

void HexGauge::paintHex(QPainter& p, const QRectF& area, double settled, const QString& label, int tickCount,
                        double sweepDegrees, const std::optional<QList<QColor>>& arcStops, const PaletteTheme& t)
{
    paintReferenceHex(p, area, settled, label, tickCount, sweepDegrees, arcStops, t);
}

void HexGauge::paintHex(QPainter& p, const QRectF& area, double settled, const QString& label, int tickCount,
                        double sweepDegrees, const std::optional<QList<QColor>>& arcStops, const PaletteTheme& t,
                        FaceCache& cache)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const QList<QColor> colors = arcColors(arcStops, t);
    const NeonGlowModifier glow{withOpacity(t.accentGlow, 0.55), 5, t.enableNeonGlow};
    const Geometry full = geometry(area.size(), 1.0, tickCount, sweepDegrees);
    const QRectF face(QPointF(0, 0), area.size());
    const QPointF fc = full.centre;
    const qreal r = full.radius;
    // The palette as far as the face shows it.
    QString look = t.id + (t.enableNeonGlow ? QStringLiteral("|glow") : QString());
    for (const QColor& c : {t.accent, t.accentGlow, t.accentSecondary, t.border, t.surfaceElevated, t.textDim, t.background, t.mono})
        look += QLatin1Char('|') + QString::number(quint64(c.rgba64()));
    if (cache.theme != look || cache.dpr != dpr || cache.size != area.size() || cache.ticks != tickCount ||
        cache.sweep != sweepDegrees || cache.colors != colors) {
        cache = FaceCache{};
        cache.theme = look;
        cache.dpr = dpr;
        cache.size = area.size();
        cache.ticks = tickCount;
        cache.sweep = sweepDegrees;
        cache.colors = colors;
        cache.margin = std::max<qreal>(glow.margin(), 6);
        const qreal m = cache.margin;
        const Geometry unlit = geometry(area.size(), -1.0, tickCount, sweepDegrees);
        const QPainterPath fullArc = arcPath(fc, r - 9, full.startAngle, full.sweep);
        cache.still = faceLayer(face, m, dpr, [&](QPainter& lp) {
            drawRings(lp, fc, r, full, t);
            drawOutline(lp, fc, full, t);
        });
        cache.core = faceLayer(face, m, dpr, [&](QPainter& lp) { drawCore(lp, fc, full.coreRadius, t); });
        cache.glass = faceLayer(face, m, dpr, [&](QPainter& lp) { drawGlass(lp, fc, r); });
        cache.arcFill = faceLayer(face, m, dpr, [&](QPainter& lp) {
            lp.fillRect(face.adjusted(-m, -m, m, m), QBrush(clockwiseConic(fc, full.startAngle, colors)));
        });
        if (glow.enabled) {
            cache.stillGlow = glowOf(glow, faceLayer(face, m, dpr, [&](QPainter& lp) {
                                         lp.drawImage(face.topLeft() - QPointF(m, m), cache.still);
                                         drawTicks(lp, QPointF(0, 0), unlit.ticks, t);
                                         lp.drawImage(face.topLeft() - QPointF(m, m), cache.glass);
                                     }));
            cache.litGlow = glowOf(glow, faceLayer(face, m, dpr, [&](QPainter& lp) {
                                       drawTicks(lp, QPointF(0, 0), full.ticks, t, true);
                                       lp.setPen(QPen(QBrush(clockwiseConic(fc, full.startAngle, colors)), 5,
                                                      Qt::SolidLine, Qt::RoundCap));
                                       lp.drawPath(fullArc);
                                   }));
            cache.coreGlow = glowOf(glow, cache.core);
            const QImage stroke = faceLayer(face, m, dpr, [&](QPainter& lp) {
                lp.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
                lp.drawPath(fullArc);
            });
            cache.arcGlow = Shadow::tintedBlur(stroke, withOpacity(t.accentGlow, 0.35), 3 * dpr);
        }
        // Where each pixel lies along the scale.
        const QSize px = cache.still.size();
        cache.along.resize(size_t(px.width()) * size_t(px.height()));
        const double turn = 360.0 / std::max(sweepDegrees, 1.0);
        for (int y = 0; y < px.height(); ++y) {
            for (int x = 0; x < px.width(); ++x) {
                const double dx = (x + 0.5) / dpr - m - fc.x(), dy = (y + 0.5) / dpr - m - fc.y();
                double degrees = std::atan2(dy, dx) / kRad - full.startAngle;
                degrees = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
                double f = degrees / std::max(sweepDegrees, 1.0);
                // The gap's nearer half belongs before the start.
                if (f > (1 + turn) / 2) f -= turn;
                cache.along[size_t(y) * size_t(px.width()) + size_t(x)] = float(f);
            }
        }
    }

    const Geometry g = geometry(area.size(), settled, tickCount, sweepDegrees);
    const qreal m = cache.margin;
    const QPointF at = area.topLeft() - QPointF(m, m);
    const QPointF c = g.centre + area.topLeft();
    const double coreScale = g.coreFillRadius / std::max<qreal>(full.coreRadius, 1);
    const double fade = 3.0 / std::max(sweepDegrees, 1.0);
    const auto drawScaledCore = [&](const QImage& image) {
        scaleAbout(image, (c - at) * dpr, coreScale, cache.scratch);
        Blit::draw(p, at, cache.scratch);
    };
    // Every frame is made of images drawn unscaled or scaled, lines and one opaque stroke:
    // nothing the raster engine hands to its worker threads, and no blur.
    if (glow.enabled) {
        Blit::draw(p, at, cache.stillGlow);
        keepAlong(cache.litGlow, cache.along, settled + 0.0001, fade, cache.scratch);
        Blit::draw(p, at, cache.scratch);
        drawScaledCore(cache.coreGlow);
    }
    Blit::draw(p, at, cache.still);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    drawTicks(p, area.topLeft(), g.ticks, t);
    p.restore();
    if (g.showArc) {
        const QRectF grown = area.adjusted(-m, -m, m, m);
        strokeThroughFill(p, grown, arcPath(c, r - 9, g.startAngle, g.sweep * settled), 5, cache.arcFill);
        if (glow.enabled) {
            keepAlong(cache.arcGlow, cache.along, settled, fade, cache.scratch);
            Blit::draw(p, at, cache.scratch);
        }
    }
    drawScaledCore(cache.core);
    Blit::draw(p, at, cache.glass);
    // The label with its backdrop and shadows, drawn once per text.
    if (label.isEmpty()) return;
    if (cache.label != label || cache.labelLayer.isNull()) {
        const qreal reach = Shadow::reach(2) + 3;
        cache.labelLayer = faceLayer(face, std::max(m, reach), dpr, [&](QPainter& lp) {
            paintLabel(lp, face, label, t.monoFont.font(QFont::Bold), t, true);
        });
        cache.label = label;
    }
    const qreal lm = std::max(m, Shadow::reach(2) + 3);
    Blit::draw(p, area.topLeft() - QPointF(lm, lm), cache.labelLayer);
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
        if (!m_face) m_face = std::make_unique<FaceCache>();
        paintHex(p, area, settled(), m_label, m_tickCount, m_sweepDegrees, m_arcStops, t, *m_face);
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
    Blit::draw(p, area.topLeft(), m_ring);
    const QList<QColor> colors = arcColors(m_arcStops, t);
    if (m_arcFillColors != colors || m_arcFill.devicePixelRatio() != dpr || m_arcFill.isNull()) {
        m_arcFill = classicArcFill(area, dpr, colors);
        m_arcFillColors = colors;
    }
    paintClassicValue(p, area, settled(), QString(), m_arcStops, t, &m_arcFill);
    // The label over it, drawn once per text and look.
    if (m_label.isEmpty()) return;
    const QString labelKey = m_label + QLatin1Char('|') + QString::number(quint64(t.mono.rgba64())) + QLatin1Char('|') +
                             t.monoFont.font(QFont::DemiBold).key();
    if (labelKey != m_classicLabelKey || m_classicLabel.devicePixelRatio() != dpr || m_classicLabel.isNull()) {
        m_classicLabel = QImage((area.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_classicLabel.setDevicePixelRatio(dpr);
        m_classicLabel.fill(Qt::transparent);
        QPainter lp(&m_classicLabel);
        lp.setRenderHint(QPainter::TextAntialiasing);
        paintLabel(lp, QRectF(QPointF(0, 0), area.size()), m_label, t.monoFont.font(QFont::DemiBold), t, false);
        m_classicLabelKey = labelKey;
    }
    Blit::draw(p, area.topLeft(), m_classicLabel);
}
