#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <array>
#include <cstdint>
#include <optional>

// The plain records the sampling engine produces and every other layer reads.

struct ProcessInfoItem {
    QUuid id = QUuid::createUuid();
    int32_t pid = 0;
    QString name;
    double cpuUsage = 0;     // percent of one core over the last interval
    double memoryMB = 0;     // resident MiB
    double runningTime = 0;  // seconds; the sampler leaves 0
    bool isRunaway = false;
    bool isProtected = false;
    // Linux: the priority it runs at (19 is the lowest), and whether it is a kernel thread
    // (kernel threads and pid 1 are shown as protected and never acted on).
    int nice = 0;
    bool isKernelThread = false;
    uint64_t startTime = 0;  // clock ticks after boot; with the pid, names one process

    // Items of one process from different samples are the same process.
    friend bool operator==(const ProcessInfoItem& a, const ProcessInfoItem& b)
    {
        return a.pid == b.pid && a.startTime == b.startTime;
    }
};

inline size_t qHash(const ProcessInfoItem& item, size_t seed = 0) { return ::qHash(item.pid, seed); }

struct PerformanceSnapshot {
    enum class ThermalLevel { nominal, fair, serious, critical };
    static constexpr std::array<ThermalLevel, 4> allThermalLevels = {ThermalLevel::nominal, ThermalLevel::fair,
                                                                     ThermalLevel::serious, ThermalLevel::critical};
    static QString rawValue(ThermalLevel level);
    static std::optional<ThermalLevel> thermalLevelFromRaw(const QString& raw);

    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    double cpuUsage = 0;
    double memoryUsed = 0;   // GiB
    double memoryTotal = 0;  // GiB
    double memoryPressure = 0;
    uint64_t diskUsed = 0;
    uint64_t diskTotal = 0;
    // "/" when it is another file system than the home folder's; 0 otherwise.
    uint64_t rootDiskUsed = 0;
    uint64_t rootDiskTotal = 0;
    ThermalLevel thermalState = ThermalLevel::nominal;
    std::optional<double> cpuTempC;
    // The processor's throttle point from the firmware's thermal zones; none when unknown.
    std::optional<double> throttleTripC;
    QList<ProcessInfoItem> topProcesses;
};

using ThermalLevel = PerformanceSnapshot::ThermalLevel;

struct HealthScore {
    // Which palette colour shows a score: accent 80-100, warning 50-79, danger otherwise.
    enum class StatusBand { accent, warning, danger };

    QUuid id = QUuid::createUuid();
    int64_t score = 0;
    int64_t cpuScore = 0;
    int64_t memoryScore = 0;
    int64_t diskScore = 0;
    int64_t thermalScore = 0;
    QDateTime timestamp;

    StatusBand statusBand() const;

    friend bool operator==(const HealthScore&, const HealthScore&) = default;
};

struct CPUDataPoint {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    double usage = 0;
};

struct MemoryDataPoint {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    double pressure = 0;
};

struct ActionRecord {
    enum class ActionType {
        processKilled,
        processThrottled,
        cacheCleared,
        diskCleaned,
        emergencyCleanup,
        memoryFreed,
        alertSent,
        systemCheck
    };
    static constexpr std::array<ActionType, 8> allActionTypes = {
        ActionType::processKilled,    ActionType::processThrottled, ActionType::cacheCleared, ActionType::diskCleaned,
        ActionType::emergencyCleanup, ActionType::memoryFreed,      ActionType::alertSent,    ActionType::systemCheck};
    static QString rawValue(ActionType type);
    static std::optional<ActionType> actionTypeFromRaw(const QString& raw);
    // A new history row with a fresh id.
    static ActionRecord make(ActionType action, const QString& target, const QString& detail,
                             const QDateTime& timestamp, bool wasAutomatic);

    QUuid id = QUuid::createUuid();
    ActionType action = ActionType::systemCheck;
    QString target;
    QString detail;
    QDateTime timestamp;
    bool wasAutomatic = false;
};

using ActionType = ActionRecord::ActionType;

struct CleanupTarget {
    enum class CleanupCategory {
        pipCache,
        npmCache,
        brewCache,
        xcodeCache,
        chromeCache,
        safariCache,
        systemLogs,
        huggingFace,
        dockerImages,
        tempFiles,
        trashBin
    };
    static constexpr std::array<CleanupCategory, 11> allCategories = {
        CleanupCategory::pipCache,    CleanupCategory::npmCache,    CleanupCategory::brewCache,
        CleanupCategory::xcodeCache,  CleanupCategory::chromeCache, CleanupCategory::safariCache,
        CleanupCategory::systemLogs,  CleanupCategory::huggingFace, CleanupCategory::dockerImages,
        CleanupCategory::tempFiles,   CleanupCategory::trashBin};
    static QString rawValue(CleanupCategory category);
    static QString icon(CleanupCategory category);
    static std::optional<CleanupCategory> categoryFromRaw(const QString& raw);

    QUuid id = QUuid::createUuid();
    QString path;
    QString name;
    uint64_t sizeBytes = 0;
    CleanupCategory category = CleanupCategory::tempFiles;
    bool isSafe = false;
};

using CleanupCategory = CleanupTarget::CleanupCategory;
