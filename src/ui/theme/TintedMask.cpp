#include "ui/theme/TintedMask.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// The engine splits a blend from 96 spans on, and cuts a row of a rectangle into a span per
// stretch of a few hundred pixels: a band of rows is kept to 64 spans, counting a span per
// 128 pixels of width to be safe.
int bandRows(int width)
{
    const int spansPerRow = std::max(1, (width + 127) / 128);
    return std::max(1, 64 / spansPerRow);
}
}  // namespace

void fillInBands(QImage& image, const QBrush& brush, int compositionMode)
{
    // In device pixels: a painter on an image keeps the image's pixel ratio under any transform.
    const qreal dpr = image.devicePixelRatio();
    image.setDevicePixelRatio(1);
    {
        QPainter p(&image);
        p.setCompositionMode(QPainter::CompositionMode(compositionMode));
        const int width = image.width();
        const int rows = bandRows(width);
        for (int y = 0; y < image.height(); y += rows)
            p.fillRect(QRect(0, y, width, std::min(rows, image.height() - y)), brush);
    }
    image.setDevicePixelRatio(dpr);
}

QImage tintedMask(QSize logicalSize, qreal devicePixelRatio, const std::function<void(QPainter&)>& drawShape,
                  const QBrush& deviceBrush)
{
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(int(std::ceil(logicalSize.width() * dpr)), int(std::ceil(logicalSize.height() * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawShape(p);
    }
    fillInBands(image, deviceBrush, QPainter::CompositionMode_SourceIn);
    return image;
}
