#include "ui/theme/NeonGlowEffect.h"

NeonGlowEffect::NeonGlowEffect(NeonGlowModifier glow, QObject* parent) : QGraphicsEffect(parent), m_glow(std::move(glow)) {}

void NeonGlowEffect::setGlow(const NeonGlowModifier& glow)
{
    m_glow = glow;
    updateBoundingRect();
    update();
}

QRectF NeonGlowEffect::boundingRectFor(const QRectF& rect) const
{
    const qreal m = m_glow.margin();
    return rect.adjusted(-m, -m, m, m);
}

void NeonGlowEffect::draw(QPainter* painter)
{
    if (!m_glow.enabled) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
    if (source.isNull()) return;
    const QTransform saved = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    m_glow.paintGlow(*painter, source.toImage(), offset);
    painter->drawPixmap(offset, source);
    painter->setWorldTransform(saved);
}
