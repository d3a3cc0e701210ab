#include "ui/dashboard/ScoreBar.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/OverviewModel.h"
#include "ui/theme/ColorHex.h"
#include "ui/theme/WindowExposure.h"

#include <QPainter>
#include <QPainterPath>

ScoreBar::ScoreBar(const QString& label, QWidget* parent) : QWidget(parent), m_label(label)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&m_animation, &SteppedAnimation::valueChanged, this, [this](double v) {
        m_shownScore = v;
        update();
    });
}

void ScoreBar::setScore(int64_t score, const QColor& color)
{
    if (color != m_color) {
        m_color = color;
        update();
    }
    if (m_hasScore && score == m_score) return;
    const bool first = !m_hasScore;
    m_hasScore = true;
    m_score = score;
    m_animation.stop();
    if (first || !isOnScreen(this)) {
        m_shownScore = double(score);
        update();
        return;
    }
    // The score that moves the fill by one device pixel.
    const double track = trackRect().width() * devicePixelRatioF();
    m_animation.start(m_shownScore, double(score), track > 0 ? 100.0 / track : 1.0);
}

void ScoreBar::setFigureColor(const QColor& color)
{
    if (color == m_figureColor) return;
    m_figureColor = color;
    update();
}

QRectF ScoreBar::trackRect() const
{
    const qreal left = labelWidth + spacing;
    const qreal w = std::max<qreal>(0, width() - left - spacing - numberWidth);
    return QRectF(left, (height() - barHeight) / 2, w, barHeight);
}

double ScoreBar::shownFillWidth() const
{
    return OverviewModel::scoreBarFillWidth(trackRect().width(), m_shownScore);
}

QSize ScoreBar::sizeHint() const
{
    const int h = std::max(QFontMetrics(DashboardStyle::font(11, QFont::Medium)).height(),
                           QFontMetrics(DashboardStyle::mono(11, QFont::Bold)).height());
    return {labelWidth + spacing + 200 + spacing + numberWidth, h};
}

QSize ScoreBar::minimumSizeHint() const
{
    return {labelWidth + spacing + 40 + spacing + numberWidth, sizeHint().height()};
}

void ScoreBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(DashboardStyle::font(11, QFont::Medium));
    p.setPen(namedColor(NamedColor::gray));
    p.drawText(QRectF(0, 0, labelWidth, height()), Qt::AlignRight | Qt::AlignVCenter, m_label);

    const QRectF track = trackRect();
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, 3, 3);
    p.fillPath(trackPath, colorFromHex(u"#2e2e32"));
    const double fill = shownFillWidth();
    if (fill > 0) {
        QPainterPath fillPath;
        fillPath.addRoundedRect(QRectF(track.topLeft(), QSizeF(fill, barHeight)), 3, 3);
        p.fillPath(fillPath, m_color);
    }

    p.setFont(DashboardStyle::mono(11, QFont::Bold));
    p.setPen(m_figureColor);
    p.drawText(QRectF(width() - numberWidth, 0, numberWidth, height()), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(m_score));
}
