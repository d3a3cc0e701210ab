#pragma once

#include "ui/theme/NeonGlowModifier.h"

#include <QGraphicsEffect>

// The neon glow on a whole widget: widget->setGraphicsEffect(new NeonGlowEffect(...)).
class NeonGlowEffect : public QGraphicsEffect {
    Q_OBJECT
public:
    explicit NeonGlowEffect(NeonGlowModifier glow = {}, QObject* parent = nullptr);

    const NeonGlowModifier& glow() const { return m_glow; }
    void setGlow(const NeonGlowModifier& glow);

    QRectF boundingRectFor(const QRectF& rect) const override;

protected:
    void draw(QPainter* painter) override;

private:
    NeonGlowModifier m_glow;
};
