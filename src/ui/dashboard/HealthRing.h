#pragma once

#include "ui/theme/ThemeBinding.h"

#include "ui/theme/SteppedAnimation.h"
#include <QImage>
#include <QWidget>

class ThemeManager;

// The overall health score as a ring: a track, an arc from 12 o'clock clockwise over
// score / 100 of the circle in the score's status colour, and the number with its word inside.
// A new score glides there over 1 s (ease in-out), drawn only when the arc has moved by a pixel;
// nothing runs while the score stays put. The ring is drawn into an image once per look and
// copied from it by every paint that finds it unchanged.
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
    // What the drawn ring depends on; a paint that finds it unchanged copies the last image.
    struct RingLook {
        int64_t score = -1;
        double shown = -1;
        QRgb status = 0;
        QRgb track = 0;
        QRgb figure = 0;
        qreal devicePixelRatio = 0;
        bool operator==(const RingLook&) const = default;
    };
    void drawRing(const RingLook& look);

    ThemeBinding m_theme;
    int64_t m_score = 0;
    bool m_hasScore = false;
    double m_shown = 0;
    SteppedAnimation m_animation{1000, QEasingCurve::InOutQuad};
    RingLook m_ringLook;
    QImage m_ring;
    // Parts that stay while the arc moves: the track with the start cap and the whole circle in
    // the arc's colours; the arc's shape is drawn into m_arc.
    RingLook m_partsLook;
    QImage m_base;
    QImage m_wheel;
    QImage m_arc;
};
