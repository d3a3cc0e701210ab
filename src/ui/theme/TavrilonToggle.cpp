#include "ui/theme/TavrilonToggle.h"

#include "ui/theme/FrameTicker.h"
#include "ui/theme/Shadow.h"

#include <QPainterPath>

namespace {
constexpr qreal kGlowMargin = 6;
}

TavrilonToggle::TavrilonToggle(ThemeManager& themes, QWidget* parent) : QAbstractButton(parent), m_theme(this, themes)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleDescription(tr("Off"));
    m_ticker = new FrameTicker(this, 16, [this](double dt) {
        const bool moving = m_knob.step(dt);
        update();
        return moving;
    });
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        setAccessibleDescription(on ? tr("On") : tr("Off"));
        m_knob.setTarget(on ? 7.5 : -7.5);
        if (isVisible()) m_ticker->request();
        else m_knob.reset(m_knob.target());
        update();
    });
}

QSize TavrilonToggle::sizeHint() const
{
    return {int(trackWidth + 2 * kGlowMargin), int(trackHeight + 2 * kGlowMargin)};
}

void TavrilonToggle::paintEvent(QPaintEvent*)
{
    const PaletteTheme& t = m_theme.theme();
    const bool on = isChecked();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track(QPointF(width() / 2.0 - trackWidth / 2, height() / 2.0 - trackHeight / 2), QSizeF(trackWidth, trackHeight));
    const qreal r = trackHeight / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(track, r, r);

    if (on) {
        m_trackShadow.draw(p, track, withOpacity(t.firstStop(), 0.5), 5, {}, quint64(r * 64), [&](QPainter& lp) { lp.fillPath(capsule, Qt::black); });
        p.fillPath(capsule, stopsBrush(t.stops(), track.topLeft(), track.topRight()));
    } else {
        p.fillPath(capsule, t.surfaceElevated);
        QPainterPath inner;
        inner.addRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), r - 0.5, r - 0.5);
        p.strokePath(inner, QPen(t.border, 1));
    }

    const QPointF knob = track.center() + QPointF(m_knob.value(), 0);
    const QRectF knobBox(knob - QPointF(7, 7), QSizeF(14, 14));
    m_knobShadow.draw(p, knobBox, withOpacity(Qt::black, 0.33), 1, {0, 0.5}, 0, [&](QPainter& lp) {
        lp.setPen(Qt::NoPen);
        lp.setBrush(Qt::black);
        lp.drawEllipse(knobBox);
    });
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(knobBox);
}
