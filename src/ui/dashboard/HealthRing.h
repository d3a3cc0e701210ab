#pragma once

#include "ui/theme/ThemeBinding.h"

#include "ui/theme/SteppedAnimation.h"
#include <QWidget>

class ThemeManager;

// The overall health score as a ring: a track, an arc from 12 o'clock clockwise over
// score / 100 of the circle in the score's status colour, and the number with its word inside.
// A new score glides there over 1 s (ease in-out), drawn only when the arc has moved by a pixel;
// nothing runs while the score stays put.
class HealthRing : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 120;
    static constexpr qreal lineWidth = 10;

    explicit HealthRing(ThemeManager& themes, QWidget* parent = nullptr);

    int64_t score() const { return m_score; }
    void setScore(int64_t score);
    // The arc's share of the circle on display now.
    double shownFraction() const { return m_shown; }
    bool isAnimating() const { return m_animation.isRunning(); }

    QSize sizeHint() const override { return {side, side}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    ThemeBinding m_theme;
    int64_t m_score = 0;
    bool m_hasScore = false;
    double m_shown = 0;
    SteppedAnimation m_animation{1000, QEasingCurve::InOutQuad};
};
