#include "optimisation/PerformanceMode.h"

namespace PerformanceModes {

QString rawValue(PerformanceMode mode)
{
    switch (mode) {
    case PerformanceMode::maxPerformance: return QStringLiteral("Max Performance");
    case PerformanceMode::balanced: return QStringLiteral("Balanced");
    case PerformanceMode::batterySaver: return QStringLiteral("Battery Saver");
    case PerformanceMode::creativeWork: return QStringLiteral("Creative Work");
    case PerformanceMode::developer: return QStringLiteral("Developer");
    case PerformanceMode::gaming: return QStringLiteral("Gaming");
    }
    return {};
}

std::optional<PerformanceMode> fromRaw(const QString& raw)
{
    for (PerformanceMode m : all) {
        if (rawValue(m) == raw) return m;
    }
    return std::nullopt;
}

}  // namespace PerformanceModes
