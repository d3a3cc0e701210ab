#include "ui/dashboard/ChartCurve.h"

#include <algorithm>
#include <cmath>

namespace ChartCurve {

namespace {

// Knot spacing of centripetal parameterisation, measured where both axes span 0...1 so that
// milliseconds on x and percent on y weigh alike.
double knot(QPointF a, QPointF b, double alpha)
{
    const double d = std::hypot(b.x() - a.x(), b.y() - a.y());
    return std::max(std::pow(d, alpha), 1e-9);
}

QPointF lerp(QPointF a, QPointF b, double ta, double tb, double t)
{
    if (tb - ta == 0) return a;
    return a * ((tb - t) / (tb - ta)) + b * ((t - ta) / (tb - ta));
}

// Cuts the segment from point i to point i + 1 into `stepsFor(i, curveAt)` pieces, where
// `curveAt(t)` is the segment's point at t in 0...1.
template <typename Steps>
QList<QPointF> interpolate(const QList<QPointF>& points, double alpha, Steps stepsFor)
{
    double minX = points.first().x(), maxX = minX, minY = points.first().y(), maxY = minY;
    for (const QPointF& p : points) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    const double sx = maxX > minX ? maxX - minX : 1.0;
    const double sy = maxY > minY ? maxY - minY : 1.0;
    auto norm = [&](QPointF p) { return QPointF((p.x() - minX) / sx, (p.y() - minY) / sy); };
    auto denorm = [&](QPointF p) { return QPointF(p.x() * sx + minX, p.y() * sy + minY); };

    QList<QPointF> n;
    n.reserve(points.size() + 2);
    for (const QPointF& p : points) n.append(norm(p));
    // Mirrored end points give the first and last segments a tangent.
    n.prepend(n[0] * 2 - n[1]);
    n.append(n[n.size() - 1] * 2 - n[n.size() - 2]);

    QList<QPointF> out;
    out.reserve(points.size() * 2);
    for (qsizetype i = 1; i + 2 < n.size(); ++i) {
        const QPointF p0 = n[i - 1], p1 = n[i], p2 = n[i + 1], p3 = n[i + 2];
        const double t0 = 0, t1 = t0 + knot(p0, p1, alpha), t2 = t1 + knot(p1, p2, alpha),
                     t3 = t2 + knot(p2, p3, alpha);
        auto curveAt = [&](double share) {
            const double t = t1 + (t2 - t1) * share;
            const QPointF a1 = lerp(p0, p1, t0, t1, t), a2 = lerp(p1, p2, t1, t2, t), a3 = lerp(p2, p3, t2, t3, t);
            const QPointF b1 = lerp(a1, a2, t0, t2, t), b2 = lerp(a2, a3, t1, t3, t);
            return denorm(lerp(b1, b2, t1, t2, t));
        };
        const int steps = std::max(1, stepsFor(i - 1, curveAt));
        out.append(points[i - 1]);
        for (int s = 1; s < steps; ++s) out.append(curveAt(double(s) / double(steps)));
    }
    out.append(points.last());
    // Time only moves forward: keep x monotonic where the curve would bend back.
    for (qsizetype i = 1; i < out.size(); ++i) out[i].setX(std::max(out[i].x(), out[i - 1].x()));
    return out;
}

}  // namespace

QList<QPointF> smooth(const QList<QPointF>& points, int steps, double alpha)
{
    if (points.size() < 3 || steps < 2) return points;
    return interpolate(points, alpha, [steps](qsizetype, const auto&) { return steps; });
}

QList<QPointF> smoothOnScreen(const QList<QPointF>& points, QPointF pixelsPerUnit, double pixelsPerStep, int maxSteps,
                              double alpha)
{
    if (points.size() < 3 || maxSteps < 2) return points;
    const double step = std::max(pixelsPerStep, 0.5);
    auto onScreen = [&](QPointF a, QPointF b) {
        return std::hypot((b.x() - a.x()) * pixelsPerUnit.x(), (b.y() - a.y()) * pixelsPerUnit.y());
    };
    return interpolate(points, alpha, [&](qsizetype i, const auto& curveAt) {
        // The length through the segment's middle stands in for its length along the curve,
        // so a bulge between two equal values still gets its pieces.
        const QPointF middle = curveAt(0.5);
        const double length = onScreen(points[i], middle) + onScreen(middle, points[i + 1]);
        if (!std::isfinite(length)) return maxSteps;
        return int(std::clamp(std::ceil(length / step), 1.0, double(maxSteps)));
    });
}

}  // namespace ChartCurve
