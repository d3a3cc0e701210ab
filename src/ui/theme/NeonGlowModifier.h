#pragma once

#include <QColor>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <functional>

// A neon glow any drawing can wear: three soft shadows of the drawing's own shape around it.
// Off, it leaves the drawing exactly as it was. NeonGlowEffect puts it on a whole widget.
struct NeonGlowModifier {
    QColor color;
    qreal radius = 5;
    bool enabled = true;

    struct GlowShadow {
        double opacity;
        qreal radius;
        friend bool operator==(const GlowShadow&, const GlowShadow&) = default;
    };
    // Innermost first; empty when disabled.
    QList<GlowShadow> shadows() const;

    // How far the glow reaches past the drawing.
    qreal margin() const;

    // Draws `content` (in `area`, in p's coordinates) with the glow under it.
    void paint(QPainter& p, const QRectF& area, const std::function<void(QPainter&)>& content) const;
    // The glow alone for a drawing already rendered into `layer` (placed at `topLeft`).
    void paintGlow(QPainter& p, const QImage& layer, QPointF topLeft) const;
};
