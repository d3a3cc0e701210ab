#include "ui/dashboard/HealthRing.h"

#include "core/Models.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/OverviewModel.h"
#include "ui/theme/ThemeManager.h"
#include "ui/theme/WindowExposure.h"

#include <QConicalGradient>
#include <QPainter>
#include <QtMath>

#include <cmath>
#include <QPainterPath>
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

void HealthRing::paintEvent(QPaintEvent*)
{
    const PaletteTheme& theme = m_theme.theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(0, 0, side, side).adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);

    p.setPen(QPen(theme.border, lineWidth, Qt::SolidLine, Qt::FlatCap));
    p.drawEllipse(ring);

    HealthScore health;
    health.score = m_score;
    const QColor status = statusColor(health, theme);
    if (m_shown > 0) {
        // The gradient runs round from 12 o'clock, pale at the start of the arc. Qt's conical
        // gradient and arcs turn counter-clockwise, so both are drawn mirrored.
        QConicalGradient clockwise(ring.center(), 90);
        clockwise.setColorAt(0.0, withOpacity(status, 0.4));
        clockwise.setColorAt(1.0, status);
        p.save();
        p.translate(ring.center());
        p.scale(-1, 1);
        p.translate(-ring.center());
        // Flat ends, then the round caps as dots in their own colours: a round cap would take
        // the gradient's colour where it lies, so a full ring's end would turn pale again.
        p.setPen(QPen(QBrush(clockwise), lineWidth, Qt::SolidLine, Qt::FlatCap));
        // Mirrored, a counter-clockwise arc from 12 o'clock shows clockwise on screen.
        p.drawArc(ring, 90 * 16, int(m_shown * 360 * 16));
        const double radius = ring.width() / 2;
        auto capAt = [&](double degrees) {
            const double a = qDegreesToRadians(degrees);
            return ring.center() + QPointF(radius * std::cos(a), -radius * std::sin(a));
        };
        p.setPen(Qt::NoPen);
        p.setBrush(withOpacity(status, 0.4));
        p.drawEllipse(capAt(90), lineWidth / 2, lineWidth / 2);
        p.setBrush(status);
        p.drawEllipse(capAt(90 + m_shown * 360), lineWidth / 2, lineWidth / 2);
        p.restore();
    }

    const QString number = QString::number(m_score);
    const QFont numberFont = DashboardStyle::mono(40, QFont::Bold);
    const QFont wordFont = DashboardStyle::font(11, QFont::DemiBold);
    const QFontMetrics nm(numberFont), wm(wordFont);
    const qreal total = nm.height() + 2 + wm.height();
    const qreal top = (side - total) / 2;
    p.setFont(numberFont);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, top, side, nm.height()), Qt::AlignCenter, number);
    p.setFont(wordFont);
    p.setPen(namedColor(OverviewModel::healthWordColor(m_score)));
    p.drawText(QRectF(0, top + nm.height() + 2, side, wm.height()), Qt::AlignCenter,
               OverviewModel::healthStatusText(m_score));
}
