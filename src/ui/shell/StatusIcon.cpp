#include "ui/shell/StatusIcon.h"

#include "ui/theme/PaletteTheme.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

QColor scoreColor(int64_t score, const PaletteTheme& palette)
{
    if (score >= 80 && score <= 100) return palette.success;
    if (score >= 50 && score <= 79) return palette.warning;
    return palette.danger;
}

QColor batteryColor(const StatusIconState::Battery& battery, const PaletteTheme& palette)
{
    if (battery.charging) return palette.success;
    if (battery.level >= 50 && battery.level <= 100) return palette.textDim;
    if (battery.level >= 20 && battery.level <= 49) return palette.warning;
    return palette.danger;
}

SnoozeDot snoozeDot(bool enabled, bool running, bool cameraDenied, bool accessibilityDenied)
{
    if (!enabled) return SnoozeDot::disabled;
    if (running && !cameraDenied && !accessibilityDenied) return SnoozeDot::armed;
    if (running) return SnoozeDot::partial;
    return SnoozeDot::stopped;
}

QString snoozeDotText(SnoozeDot dot)
{
    switch (dot) {
    case SnoozeDot::armed: return QStringLiteral(" \u25CF");
    case SnoozeDot::partial: return QStringLiteral(" \u25D0");
    case SnoozeDot::disabled:
    case SnoozeDot::stopped: break;
    }
    return QStringLiteral(" \u25CB");
}

QColor snoozeDotColor(SnoozeDot dot)
{
    // The platform's standard grey, green, yellow and red.
    switch (dot) {
    case SnoozeDot::disabled: return QColor(142, 142, 147);
    case SnoozeDot::armed: return QColor(52, 199, 89);
    case SnoozeDot::partial: return QColor(255, 204, 0);
    case SnoozeDot::stopped: break;
    }
    return QColor(255, 59, 48);
}

QString statusTitle(const StatusIconState& state)
{
    QString title = QLatin1Char(' ') + QString::number(state.score);
    if (state.battery) title += QStringLiteral(" \u00B7 ") + QString::number(state.battery->level) + QLatin1Char('%');
    return title + snoozeDotText(state.snooze);
}

namespace {

// A shield in the mark's 140-unit box, symmetric about x = 70: straight from its top point to
// the shoulders, down the sides to y = 66, then curving to its bottom point.
QPainterPath shieldPath(double top, double shoulder, double halfWidth, double bottom, double sideCurve, double tipCurve)
{
    const double cx = 70, waist = 66, right = cx + halfWidth, left = cx - halfWidth;
    const double tipRise = (bottom - waist) / 5;
    QPainterPath path;
    path.moveTo(cx, top);
    path.lineTo(right, shoulder);
    path.lineTo(right, waist);
    path.cubicTo(right, waist + sideCurve, cx + tipCurve, bottom - tipRise, cx, bottom);
    path.cubicTo(cx - tipCurve, bottom - tipRise, left, waist + sideCurve, left, waist);
    path.lineTo(left, shoulder);
    path.closeSubpath();
    return path;
}

// The application's shield without its emblem, so the score has the dark core to itself.
// Main thread only (icons are drawn there).
QImage shieldImage(int side, const StatusIconLayout& layout)
{
    static QHash<int, QImage> drawn;
    if (const auto it = drawn.constFind(side); it != drawn.constEnd()) return *it;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(layout.shield.topLeft());
    p.scale(layout.shield.width() / 140.0, layout.shield.height() / 140.0);
    const QPainterPath outer = shieldPath(10, 28, 48, 130, 31, 28);
    QLinearGradient gold(0, 10, 0, 130);
    gold.setColorAt(0, QColor(0xf0, 0xc7, 0x5e));
    gold.setColorAt(1, QColor(0xb3, 0x83, 0x2a));
    p.fillPath(outer, gold);
    const QPainterPath core = shieldPath(22, 36, 38, 118, 25, 23);
    QLinearGradient dark(32, 22, 108, 118);
    dark.setColorAt(0, QColor(0x2a, 0x2a, 0x31));
    dark.setColorAt(1, QColor(0x14, 0x14, 0x17));
    p.fillPath(core, dark);
    p.end();
    // Only a few sizes are ever asked for; an odd request does not grow the cache for good.
    if (drawn.size() >= 16) drawn.clear();
    drawn.insert(side, image);
    return image;
}

}  // namespace

StatusIconLayout StatusIconLayout::forSide(int side, int batteryLevel)
{
    const double s = side / 64.0;
    StatusIconLayout l;
    l.shield = QRectF(0, 0, 64 * s, 64 * s);
    // The mark's dark core, where the score stands out in any band colour.
    l.score = QRectF(15 * s, 17 * s, 34 * s, 26 * s);
    l.batteryTrack = QRectF(6 * s, 56 * s, 52 * s, 7 * s);
    const double fraction = std::clamp(batteryLevel, 0, 100) / 100.0;
    l.batteryFill = QRectF(l.batteryTrack.topLeft(), QSizeF(l.batteryTrack.width() * fraction, l.batteryTrack.height()));
    l.dot = QRectF(44 * s, 0, 20 * s, 20 * s);
    return l;
}

QImage renderStatusIcon(const StatusIconState& state, const PaletteTheme& palette, int side)
{
    const StatusIconLayout layout = StatusIconLayout::forSide(side, state.battery ? state.battery->level : 0);
    // The shield is the same in every state: drawn once per size, the state goes on a copy.
    QImage image = shieldImage(side, layout);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The score, as large as fits the core.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
    const QString digits = QString::number(state.score);
    double pixel = layout.score.height();
    font.setPixelSize(std::max(1, int(pixel)));
    while (pixel > 4 && QFontMetricsF(font).horizontalAdvance(digits) > layout.score.width()) {
        pixel -= 1;
        font.setPixelSize(int(pixel));
    }
    p.setFont(font);
    p.setPen(scoreColor(state.score, palette));
    p.drawText(layout.score, Qt::AlignCenter, digits);

    if (state.battery) {
        const double r = layout.batteryTrack.height() / 2;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 20, 23, 230));
        p.drawRoundedRect(layout.batteryTrack, r, r);
        p.setBrush(batteryColor(*state.battery, palette));
        p.drawRect(layout.batteryFill);
    }

    // The dot: filled when armed, half filled when partly allowed, a ring otherwise.
    const QColor dotColor = snoozeDotColor(state.snooze);
    const QRectF dot = layout.dot.adjusted(2, 2, -2, -2);
    const double ring = std::max(2.0, dot.width() / 5);
    p.setPen(QPen(QColor(20, 20, 23), 1.5));
    p.setBrush(QColor(20, 20, 23));
    p.drawEllipse(layout.dot.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(Qt::NoPen);
    switch (state.snooze) {
    case SnoozeDot::armed:
        p.setBrush(dotColor);
        p.drawEllipse(dot);
        break;
    case SnoozeDot::partial: {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(dotColor, ring));
        const QRectF inner = dot.adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2);
        p.drawEllipse(inner);
        p.setPen(Qt::NoPen);
        p.setBrush(dotColor);
        p.drawPie(dot, 90 * 16, 180 * 16);  // the leading half, as in ◐
        break;
    }
    case SnoozeDot::disabled:
    case SnoozeDot::stopped: {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(dotColor, ring));
        p.drawEllipse(dot.adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2));
        break;
    }
    }
    return image;
}
