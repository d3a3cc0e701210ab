#include "ui/theme/NeonGlowModifier.h"

#include "ui/theme/PaletteTheme.h"
#include "ui/theme/Shadow.h"

#include <algorithm>

QList<NeonGlowModifier::GlowShadow> NeonGlowModifier::shadows() const
{
    if (!enabled) return {};
    return {{0.9, 0.4 * radius}, {0.5, radius}, {0.25, 2 * radius}};
}

qreal NeonGlowModifier::margin() const
{
    return enabled ? Shadow::reach(2 * radius) : 0;
}

void NeonGlowModifier::paintGlow(QPainter& p, const QImage& layer, QPointF topLeft) const
{
    const QList<GlowShadow> all = shadows();
    // The widest, faintest shadow lies at the bottom.
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        const QImage glow = Shadow::tintedBlur(layer, withOpacity(color, it->opacity), it->radius * layer.devicePixelRatio());
        p.drawImage(topLeft, glow);
    }
}

void NeonGlowModifier::paint(QPainter& p, const QRectF& area, const std::function<void(QPainter&)>& content) const
{
    if (!enabled) {
        content(p);
        return;
    }
    const qreal m = margin();
    const QImage drawing = Shadow::layer(p, area, m, content);
    const QPointF topLeft = area.topLeft() - QPointF(m, m);
    paintGlow(p, drawing, topLeft);
    p.drawImage(topLeft, drawing);
}
