#include "core/Models.h"

namespace {

template <typename Enum, size_t N>
std::optional<Enum> fromRaw(const std::array<Enum, N>& all, const QString& raw, QString (*name)(Enum))
{
    for (Enum e : all) {
        if (name(e) == raw) return e;
    }
    return std::nullopt;
}

}  // namespace

QString PerformanceSnapshot::rawValue(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return QStringLiteral("Nominal");
    case ThermalLevel::fair: return QStringLiteral("Fair");
    case ThermalLevel::serious: return QStringLiteral("Serious");
    case ThermalLevel::critical: return QStringLiteral("Critical");
    }
    return {};
}

std::optional<ThermalLevel> PerformanceSnapshot::thermalLevelFromRaw(const QString& raw)
{
    return fromRaw(allThermalLevels, raw, &PerformanceSnapshot::rawValue);
}

HealthScore::StatusBand HealthScore::statusBand() const
{
    if (score >= 80 && score <= 100) return StatusBand::accent;
    if (score >= 50 && score <= 79) return StatusBand::warning;
    return StatusBand::danger;
}

QString ActionRecord::rawValue(ActionType type)
{
    switch (type) {
    case ActionType::processKilled: return QStringLiteral("Process Killed");
    case ActionType::processThrottled: return QStringLiteral("Process Throttled");
    case ActionType::cacheCleared: return QStringLiteral("Cache Cleared");
    case ActionType::diskCleaned: return QStringLiteral("Disk Cleaned");
    case ActionType::emergencyCleanup: return QStringLiteral("Emergency Cleanup");
    case ActionType::memoryFreed: return QStringLiteral("Memory Freed");
    case ActionType::alertSent: return QStringLiteral("Alert Sent");
    case ActionType::systemCheck: return QStringLiteral("System Check");
    }
    return {};
}

ActionRecord ActionRecord::make(ActionType action, const QString& target, const QString& detail,
                                const QDateTime& timestamp, bool wasAutomatic)
{
    ActionRecord r;
    r.action = action;
    r.target = target;
    r.detail = detail;
    r.timestamp = timestamp;
    r.wasAutomatic = wasAutomatic;
    return r;
}

std::optional<ActionType> ActionRecord::actionTypeFromRaw(const QString& raw)
{
    return fromRaw(allActionTypes, raw, &ActionRecord::rawValue);
}

QString CleanupTarget::rawValue(CleanupCategory category)
{
    switch (category) {
    case CleanupCategory::pipCache: return QStringLiteral("Python/pip Cache");
    case CleanupCategory::npmCache: return QStringLiteral("Node/npm Cache");
    case CleanupCategory::brewCache: return QStringLiteral("Homebrew Cache");
    case CleanupCategory::xcodeCache: return QStringLiteral("Xcode Derived Data");
    case CleanupCategory::chromeCache: return QStringLiteral("Chrome Cache");
    case CleanupCategory::safariCache: return QStringLiteral("Safari Cache");
    case CleanupCategory::systemLogs: return QStringLiteral("System Logs");
    case CleanupCategory::huggingFace: return QStringLiteral("HuggingFace Models");
    case CleanupCategory::dockerImages: return QStringLiteral("Docker Images");
    case CleanupCategory::tempFiles: return QStringLiteral("Temporary Files");
    case CleanupCategory::trashBin: return QStringLiteral("Trash");
    }
    return {};
}

QString CleanupTarget::icon(CleanupCategory category)
{
    switch (category) {
    case CleanupCategory::pipCache: return QStringLiteral("shippingbox");
    case CleanupCategory::npmCache: return QStringLiteral("cube.box");
    case CleanupCategory::brewCache: return QStringLiteral("mug");
    case CleanupCategory::xcodeCache: return QStringLiteral("hammer");
    case CleanupCategory::chromeCache: return QStringLiteral("globe");
    case CleanupCategory::safariCache: return QStringLiteral("globe");
    case CleanupCategory::systemLogs: return QStringLiteral("doc.text");
    case CleanupCategory::huggingFace: return QStringLiteral("brain");
    case CleanupCategory::dockerImages: return QStringLiteral("shippingbox.fill");
    case CleanupCategory::tempFiles: return QStringLiteral("clock.arrow.circlepath");
    case CleanupCategory::trashBin: return QStringLiteral("trash");
    }
    return {};
}

std::optional<CleanupCategory> CleanupTarget::categoryFromRaw(const QString& raw)
{
    return fromRaw(allCategories, raw, &CleanupTarget::rawValue);
}
