#pragma once

#include "ui/theme/SpringValue.h"
#include "ui/theme/ThemeBinding.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class FrameTicker;
class ThemeManager;

// An 80 x 80 gauge of a fraction. The palette's gaugeStyle picks the face: a plain ring, or the
// instrument face with a tick scale, a progress arc and a hexagonal core. The displayed value
// glides to each new reading with a spring, starting from empty when first shown.
class HexGauge : public QWidget {
    Q_OBJECT
public:
    explicit HexGauge(ThemeManager& themes, QWidget* parent = nullptr);
    ~HexGauge() override;

    ThemeBinding& themeBinding() { return m_theme; }
    double value() const { return m_value; }
    void setValue(double value);
    QString label() const { return m_label; }
    void setLabel(const QString& label);
    int tickCount() const { return m_tickCount; }
    void setTickCount(int count);
    double sweepDegrees() const { return m_sweepDegrees; }
    void setSweepDegrees(double degrees);
    void setArcStops(std::optional<QList<QColor>> stops);
    // The fraction on display now.
    double settled() const { return m_settled.value(); }
    bool isAnimating() const;

    // A reading as the fraction the gauge settles at: clamped to 0...1, not-a-number as 0.
    static double settleTarget(double value);
    // The progress arc's colours: arcStops when it holds two or more, else the palette's three.
    static QList<QColor> arcColors(const std::optional<QList<QColor>>& arcStops, const PaletteTheme& theme);

    struct Tick {
        double angle;  // degrees, clockwise on screen from the positive x axis
        QPointF outer;
        QPointF inner;
        bool lit;
        bool wide;
    };
    struct Geometry {
        QPointF centre;
        qreal radius = 0;       // R, the outer ring
        double startAngle = 0;  // A0, so the scale's gap is centred at the bottom
        double sweep = 0;
        QList<Tick> ticks;      // none when tickCount < 1
        bool showArc = false;
        double arcEnd = 0;      // angle where the progress arc ends
        qreal coreRadius = 0;   // the outlined hexagon
        qreal coreFillRadius = 0;
    };
    static Geometry geometry(const QSizeF& size, double settled, int tickCount, double sweepDegrees);
    // Corners of a hexagon with its point at the top.
    static QPolygonF hexagon(QPointF centre, qreal radius);

    static void paintClassic(QPainter& p, const QRectF& area, double settled, const QString& label,
                             const std::optional<QList<QColor>>& arcStops, const PaletteTheme& theme);
    // The classic face in two layers: the ring, then the arc and the label over it.
    static void paintClassicRing(QPainter& p, const QRectF& area, const PaletteTheme& theme);
    // The classic arc's colours laid once over the whole face, at `dpr`.
    static QImage classicArcFill(const QRectF& area, qreal dpr, const QList<QColor>& colors);
    // `arcFill`: the arc's colours over the whole face as drawn before (built here when none).
    static void paintClassicValue(QPainter& p, const QRectF& area, double settled, const QString& label,
                                  const std::optional<QList<QColor>>& arcStops, const PaletteTheme& theme,
                                  const QImage* arcFill = nullptr);
    static void paintHex(QPainter& p, const QRectF& area, double settled, const QString& label, int tickCount,
                         double sweepDegrees, const std::optional<QList<QColor>>& arcStops, const PaletteTheme& theme);

    // What the instrument face blurs, made once per size, pixel ratio, scale and palette (the
    // label's shadow once per label) and reused by every frame: the glow of the parts that never
    // move, the glow of the lit scale and arc at full value (shown up to the arc's end), the
    // core's glow at full size (scaled to the core), the arc's own glow, the label's backdrop.
    struct FaceCache {
        // What the layers were made for.
        QString theme;
        qreal dpr = 0;
        QSizeF size;
        int ticks = -1;
        double sweep = -1;
        QList<QColor> colors;
        // Every layer covers the face grown by `margin` on each side.
        qreal margin = 0;
        QImage stillGlow;  // glow of the rings, the track, the unlit scale, the outline and the glass
        QImage litGlow;    // glow of the whole scale lit and the full arc
        QImage coreGlow;   // glow of the core filled to the full
        QImage still;      // the rings, the track and the hexagon's outline
        QImage arcFill;    // the arc's colours
        QImage arcGlow;    // the arc's own glow at full sweep (palettes that glow)
        QImage core;       // the core filled to the full
        QImage glass;      // the shine over everything
        // Per pixel of a layer: where along the scale it lies, 0 at its start and 1 at its end;
        // the gap below runs on past 1 and in below 0.
        std::vector<float> along;
        QImage scratch;
        // The label as last drawn, with its backdrop and shadows.
        QString label;
        QImage labelLayer;
    };
    static void paintHex(QPainter& p, const QRectF& area, double settled, const QString& label, int tickCount,
                         double sweepDegrees, const std::optional<QList<QColor>>& arcStops, const PaletteTheme& theme,
                         FaceCache& cache);

    QSize sizeHint() const override { return {80, 80}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    void follow();
    // The smallest change of the shown fraction that moves anything by a device pixel.
    double visibleStep() const;
    // From now, when the spring next moves the shown fraction by a visible step (or comes to
    // rest), in ms on the frame grid; at most maxFrameGapMs.
    int msUntilVisibleChange() const;
    static constexpr int frameMs = 33;
    static constexpr int maxFrameGapMs = 231;

    ThemeBinding m_theme;
    double m_value = 0;
    QString m_label;
    int m_tickCount = 40;
    double m_sweepDegrees = 270;
    std::optional<QList<QColor>> m_arcStops;
    SpringValue m_settled{0.7, 0.72, 0};
    FrameTicker* m_ticker;
    double m_requested = -1;  // the fraction the last requested frame shows
    QImage m_ring;          // the classic face's ring, for the palette named below
    QString m_ringTheme;
    QImage m_arcFill;  // the classic arc's colours over the face, for the colours below
    QList<QColor> m_arcFillColors;
    std::unique_ptr<FaceCache> m_face;
    QImage m_classicLabel;  // the classic face's label, for the key below
    QString m_classicLabelKey;
};
