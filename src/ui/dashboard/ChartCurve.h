#pragma once

#include <QList>
#include <QPointF>

// The smoothing of the history charts: a centripetal Catmull-Rom spline (alpha 0.5) through the
// points, sampled `steps` times per segment so a line series and an area series can both draw
// the same curve. The curve passes through every point; x stays increasing when it was.
namespace ChartCurve {

QList<QPointF> smooth(const QList<QPointF>& points, int steps = 8, double alpha = 0.5);

// The same curve cut as finely as the screen shows it: each segment into one piece per
// `pixelsPerStep` of its length on screen (at least one, at most `maxSteps`), where
// `pixelsPerUnit` turns data units into device pixels on each axis. A flat stretch of a
// 60-point history is then a few dozen points instead of hundreds, and a steep rise keeps
// all its steps.
QList<QPointF> smoothOnScreen(const QList<QPointF>& points, QPointF pixelsPerUnit, double pixelsPerStep = 4,
                              int maxSteps = 8, double alpha = 0.5);

}  // namespace ChartCurve
