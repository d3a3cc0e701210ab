#include "optimisation/AIInsight.h"

#include <array>

namespace {

constexpr std::array<AIInsight::InsightType, 9> allTypes = {
    AIInsight::InsightType::cpuAnomaly,     AIInsight::InsightType::memoryAnomaly,
    AIInsight::InsightType::memoryLeak,     AIInsight::InsightType::diskPrediction,
    AIInsight::InsightType::recommendation, AIInsight::InsightType::pattern,
    AIInsight::InsightType::bottleneck,     AIInsight::InsightType::thermalPrediction,
    AIInsight::InsightType::workflow};
constexpr std::array<AIInsight::Severity, 3> allSeverities = {AIInsight::Severity::info, AIInsight::Severity::warning,
                                                              AIInsight::Severity::critical};

}  // namespace

QString AIInsight::rawValue(InsightType type)
{
    switch (type) {
    case InsightType::cpuAnomaly: return QStringLiteral("CPU Anomaly");
    case InsightType::memoryAnomaly: return QStringLiteral("Memory Anomaly");
    case InsightType::memoryLeak: return QStringLiteral("Memory Leak");
    case InsightType::diskPrediction: return QStringLiteral("Disk Prediction");
    case InsightType::recommendation: return QStringLiteral("Recommendation");
    case InsightType::pattern: return QStringLiteral("Pattern");
    case InsightType::bottleneck: return QStringLiteral("Bottleneck");
    case InsightType::thermalPrediction: return QStringLiteral("Thermal Forecast");
    case InsightType::workflow: return QStringLiteral("Workflow");
    }
    return {};
}

QString AIInsight::rawValue(Severity severity)
{
    switch (severity) {
    case Severity::info: return QStringLiteral("info");
    case Severity::warning: return QStringLiteral("warning");
    case Severity::critical: return QStringLiteral("critical");
    }
    return {};
}

std::optional<AIInsight::InsightType> AIInsight::typeFromRaw(const QString& raw)
{
    for (InsightType t : allTypes) {
        if (rawValue(t) == raw) return t;
    }
    return std::nullopt;
}

std::optional<AIInsight::Severity> AIInsight::severityFromRaw(const QString& raw)
{
    for (Severity s : allSeverities) {
        if (rawValue(s) == raw) return s;
    }
    return std::nullopt;
}
