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

}  // namespace

QList<QPointF> smooth(const QList<QPointF>& points, int steps, double alpha)
{
    if (points.size() < 3 || steps < 2) return points;

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
    out.reserve((points.size() - 1) * steps + 1);
    for (qsizetype i = 1; i + 2 < n.size(); ++i) {
        const QPointF p0 = n[i - 1], p1 = n[i], p2 = n[i + 1], p3 = n[i + 2];
        const double t0 = 0, t1 = t0 + knot(p0, p1, alpha), t2 = t1 + knot(p1, p2, alpha),
                     t3 = t2 + knot(p2, p3, alpha);
        for (int s = 0; s < steps; ++s) {
            const double t = t1 + (t2 - t1) * double(s) / double(steps);
            const QPointF a1 = lerp(p0, p1, t0, t1, t), a2 = lerp(p1, p2, t1, t2, t), a3 = lerp(p2, p3, t2, t3, t);
            const QPointF b1 = lerp(a1, a2, t0, t2, t), b2 = lerp(a2, a3, t1, t3, t);
            QPointF c = lerp(b1, b2, t1, t2, t);
            if (s == 0) c = p1;
            out.append(denorm(c));
        }
    }
    out.append(points.last());
    // Time only moves forward: keep x monotonic where the curve would bend back.
    for (qsizetype i = 1; i < out.size(); ++i) out[i].setX(std::max(out[i].x(), out[i - 1].x()));
    return out;
}

}  // namespace ChartCurve
