#include "ui/dashboard/HealthRing.h"

#include "core/Models.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/OverviewModel.h"
#include "ui/theme/ThemeManager.h"
#include "ui/theme/TintedMask.h"
#include "ui/theme/WindowExposure.h"

#include <QConicalGradient>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cmath>

HealthRing::HealthRing(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_theme(this, themes)
{
    setFixedSize(side, side);
    connect(&m_animation, &SteppedAnimation::valueChanged, this, [this](double v) {
        m_shown = v;
        update();
    });
}

void HealthRing::setScore(int64_t score)
{
    if (m_hasScore && score == m_score) return;
    const bool first = !m_hasScore;
    m_hasScore = true;
    m_score = score;
    const double target = std::clamp(OverviewModel::ringFraction(score), 0.0, 1.0);
    m_animation.stop();
    // The first score is drawn as it is; later ones glide, and only while someone can see them.
    if (first || !isOnScreen(this)) {
        m_shown = target;
        update();
        return;
    }
    // One device pixel along the arc's middle line.
    const double circumference = M_PI * (side - lineWidth) * devicePixelRatioF();
    m_animation.start(m_shown, target, 1.0 / circumference);
}

void HealthRing::showEvent(QShowEvent*)
{
    update();
}

void HealthRing::drawRing(const RingLook& look)
{
    // Every layer is an opaque shape given its colour afterwards, and the arc takes its colours
    // from a whole circle drawn once per colour: see TintedMask.h for why.
    const QRectF ring = QRectF(0, 0, side, side).adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    const QSize size(side, side);
    const qreal dpr = look.devicePixelRatio;
    const QColor status = QColor::fromRgba(look.status);
    const QColor pale = withOpacity(status, 0.4);
    const double radius = ring.width() / 2;
    auto capAt = [&](double degrees) {
        const double a = qDegreesToRadians(degrees);
        return ring.center() + QPointF(radius * std::cos(a), -radius * std::sin(a));
    };
    // Flat ends, then the round caps as dots in their own colours: a round cap would take the
    // gradient's colour where it lies, so a full ring's end would turn pale again.
    auto dot = [&](QPointF at) {
        return [at](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(at, lineWidth / 2, lineWidth / 2);
        };
    };
    auto stroke = [](QPainter& p) { p.setPen(QPen(Qt::white, lineWidth, Qt::SolidLine, Qt::FlatCap)); };

    if (look.status != m_partsLook.status || look.track != m_partsLook.track ||
        look.devicePixelRatio != m_partsLook.devicePixelRatio) {
        m_base = tintedMask(size, dpr, [&](QPainter& p) {
            stroke(p);
            p.drawEllipse(ring);
        }, QColor::fromRgba(look.track));
        {
            QPainter p(&m_base);
            p.drawImage(QPointF(0, 0), tintedMask(size, dpr, dot(capAt(90)), pale));
        }
        // The colour runs round clockwise from 12 o'clock, pale at the start of the arc; Qt's
        // conical gradient turns counter-clockwise, so its stops run from the full colour to pale.
        QConicalGradient clockwise(ring.center() * dpr, 90);
        clockwise.setColorAt(0.0, status);
        clockwise.setColorAt(1.0, pale);
        m_wheel = tintedMask(size, dpr, [&](QPainter& p) {
            stroke(p);
            p.drawEllipse(ring);
        }, clockwise);
        // Only a texture now, read pixel for pixel.
        m_wheel.setDevicePixelRatio(1);
        m_arc = QImage(m_base.size(), QImage::Format_ARGB32_Premultiplied);
        m_arc.setDevicePixelRatio(dpr);
        m_ring = QImage(m_base.size(), QImage::Format_ARGB32_Premultiplied);
        m_ring.setDevicePixelRatio(dpr);
        m_partsLook = look;
    }

    QPainter p(&m_ring);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPointF(0, 0), m_base);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (look.shown > 0) {
        m_arc.fill(Qt::transparent);
        {
            QPainter a(&m_arc);
            a.setRenderHint(QPainter::Antialiasing);
            stroke(a);
            // A negative span runs clockwise.
            a.drawArc(ring, 90 * 16, -int(look.shown * 360 * 16));
        }
        fillInBands(m_arc, QBrush(m_wheel), QPainter::CompositionMode_SourceIn);
        p.drawImage(QPointF(0, 0), m_arc);
        // The end cap in a small image of its own, placed on whole pixels with the dot inside it
        // where the arc ends.
        const QPointF end = capAt(90 - look.shown * 360);
        const QPointF corner(std::floor(end.x() - lineWidth / 2 - 1), std::floor(end.y() - lineWidth / 2 - 1));
        const int capSide = int(lineWidth) + 3;
        p.drawImage(corner, tintedMask(QSize(capSide, capSide), dpr, dot(end - corner), status));
    }

    const QFont numberFont = DashboardStyle::mono(40, QFont::Bold);
    const QFont wordFont = DashboardStyle::font(11, QFont::DemiBold);
    const QFontMetrics nm(numberFont), wm(wordFont);
    const qreal total = nm.height() + 2 + wm.height();
    const qreal top = (side - total) / 2;
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(numberFont);
    p.setPen(QColor::fromRgba(look.figure));
    p.drawText(QRectF(0, top, side, nm.height()), Qt::AlignCenter, QString::number(look.score));
    p.setFont(wordFont);
    p.setPen(namedColor(OverviewModel::healthWordColor(look.score)));
    p.drawText(QRectF(0, top + nm.height() + 2, side, wm.height()), Qt::AlignCenter,
               OverviewModel::healthStatusText(look.score));
}

void HealthRing::paintEvent(QPaintEvent*)
{
    const PaletteTheme& theme = m_theme.theme();
    HealthScore health;
    health.score = m_score;
    const RingLook look{m_score,          m_shown, statusColor(health, theme).rgba(), theme.border.rgba(),
                        theme.textBright.rgba(), devicePixelRatioF()};
    if (look != m_ringLook || m_ring.isNull()) {
        drawRing(look);
        m_ringLook = look;
    }
    QPainter p(this);
    p.drawImage(QPointF(0, 0), m_ring);
}
