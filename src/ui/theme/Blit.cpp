#include "ui/theme/Blit.h"

#include <QPaintDevice>
#include <cmath>

namespace Blit {

void draw(QPainter& p, const QPointF& at, const QImage& image, const QRect& source)
{
    const QRect part = source.isNull() ? image.rect() : source;
    const qreal dpr = image.devicePixelRatio();
    const qreal deviceDpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const QTransform world = p.worldTransform();
    if (dpr == 1 && deviceDpr == 1) {
        p.drawImage(at, image, part);
        return;
    }
    if (world.type() > QTransform::TxTranslate || dpr != deviceDpr) {
        p.drawImage(QRectF(at, QSizeF(part.size()) / dpr), image, part);
        return;
    }
    // In device pixels: the world scaled down by the ratio the device scales it up by.
    const QPointF device = world.map(at) * dpr;
    QImage plain = image;
    plain.setDevicePixelRatio(1);
    p.save();
    p.setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr));
    p.drawImage(device, plain, part);
    p.restore();
}

}  // namespace Blit
