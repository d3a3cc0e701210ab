#pragma once

#include <QBrush>
#include <QImage>
#include <QSize>

#include <functional>

class QPainter;

// Qt's raster engine hands a blend of more than about a hundred spans to its worker threads
// when the source is translucent or a gradient: an antialiased ring or arc wakes four threads
// and waits on them, and costs several times what the same shape costs in an opaque colour.
// A shape painted here is drawn opaque (one thread, fast path) and then takes its brush over
// its own coverage in bands of rows too short to be split, so drawing it never wakes a worker.
//
// `drawShape` paints in logical coordinates with any opaque colour; the brush is given in
// device pixels of the returned image, which is `logicalSize` times `devicePixelRatio`.
QImage tintedMask(QSize logicalSize, qreal devicePixelRatio, const std::function<void(QPainter&)>& drawShape,
                  const QBrush& deviceBrush);

// Fills `image` with `brush` in `mode` (device pixels), in bands the raster engine keeps on the
// calling thread.
void fillInBands(QImage& image, const QBrush& brush, int compositionMode);
