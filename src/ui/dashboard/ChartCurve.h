#pragma once

#include <QList>
#include <QPointF>

// The smoothing of the history charts: a centripetal Catmull-Rom spline (alpha 0.5) through the
// points, sampled `steps` times per segment so a line series and an area series can both draw
// the same curve. The curve passes through every point; x stays increasing when it was.
namespace ChartCurve {

QList<QPointF> smooth(const QList<QPointF>& points, int steps = 8, double alpha = 0.5);

}  // namespace ChartCurve
