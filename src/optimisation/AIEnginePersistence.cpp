// The five history files of the learning engine.
#include "optimisation/AIEngine.h"

#include "core/Json.h"
#include "core/Paths.h"

#include <QDir>
#include <QFile>

namespace {

// Far above what the caps let the engine write (a few hundred KB); a bigger file is damage
// and is not read into memory.
constexpr qint64 maxFileBytes = 32 * 1024 * 1024;

const QString baselinesFile = QStringLiteral("process_baselines.json");
const QString diskFile = QStringLiteral("disk_history.json");
const QString memoryFile = QStringLiteral("memory_history.json");
const QString throttleFile = QStringLiteral("throttle_stats.json");
const QString hourlyFile = QStringLiteral("hourly_snapshots.json");

std::optional<QJsonDocument> readHistoryFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileBytes) return std::nullopt;
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (bytes.size() > maxFileBytes) return std::nullopt;
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) return std::nullopt;
    return document;
}

template <typename T, typename Decode>
std::optional<T> load(const QDir& dir, const QString& name, Decode decode)
{
    const auto document = readHistoryFile(dir.filePath(name));
    if (!document) return std::nullopt;
    return decode(*document);
}

}  // namespace

QString AIEngine::aiDataDirectory() const
{
    const QString dir = m_c.dataDirectory.isEmpty() ? Paths::aiDir() : m_c.dataDirectory;
    QDir().mkpath(dir);
    return dir;
}

void AIEngine::loadPersistedState()
{
    const QDir dir(aiDataDirectory());
    if (auto baselines = load<BaselineMap>(dir, baselinesFile, AIRecordsJson::decodeBaselines)) {
        {
            std::lock_guard lock(m_baselinesMutex);
            m_state.baselinesInternal = *baselines;
        }
        BaselineMap copy = std::move(*baselines);
        postToMain([this, copy = std::move(copy)] { publishBaselines(copy); });
    }
    if (auto disk = load<QList<DiskHistoryEntry>>(dir, diskFile, AIRecordsJson::decodeDiskHistory)) {
        m_state.diskGrowthHistory = std::move(*disk);
    }
    if (auto memory = load<QList<MemoryPressureEntry>>(dir, memoryFile, AIRecordsJson::decodeMemoryHistory)) {
        m_state.memoryPressureHistory = std::move(*memory);
    }
    if (auto stats = load<ThrottleStatsMap>(dir, throttleFile, AIRecordsJson::decodeThrottleStats)) {
        m_state.throttleEffectiveness = std::move(*stats);
    }
    if (auto hourly = load<HourlySnapshots>(dir, hourlyFile, AIRecordsJson::decodeHourlySnapshots)) {
        m_state.hourlySnapshots = std::move(*hourly);
    }
}

struct AIEngine::SavePayload {
    BaselineMap baselines;
    QList<DiskHistoryEntry> disk;
    QList<MemoryPressureEntry> memory;
    ThrottleStatsMap throttle;
    HourlySnapshots hourly;
};

void AIEngine::savePersistedState()
{
    // Copies are cheap (shared until the queue changes them) and consistent with each other.
    auto payload = std::make_shared<const SavePayload>(SavePayload{m_state.baselinesInternal, m_state.diskGrowthHistory,
                                                                   m_state.memoryPressureHistory,
                                                                   m_state.throttleEffectiveness, m_state.hourlySnapshots});
    bool schedule = false;
    {
        std::lock_guard lock(m_saveMutex);
        schedule = !m_pendingSave;
        m_pendingSave = std::move(payload);
    }
    if (schedule) m_saveQueue.async([this] { writePendingSave(); });
}

void AIEngine::writePendingSave()
{
    std::shared_ptr<const SavePayload> payload;
    {
        std::lock_guard lock(m_saveMutex);
        payload = std::move(m_pendingSave);
        m_pendingSave.reset();
    }
    if (!payload) return;
    // Each file on its own: a failure leaves that file's previous version and goes on.
    const QDir dir(aiDataDirectory());
    Json::writeViaTmpSibling(dir.filePath(baselinesFile), AIRecordsJson::encodeBaselines(payload->baselines));
    Json::writeViaTmpSibling(dir.filePath(diskFile), AIRecordsJson::encodeDiskHistory(payload->disk));
    Json::writeViaTmpSibling(dir.filePath(memoryFile), AIRecordsJson::encodeMemoryHistory(payload->memory));
    Json::writeViaTmpSibling(dir.filePath(throttleFile), AIRecordsJson::encodeThrottleStats(payload->throttle));
    Json::writeViaTmpSibling(dir.filePath(hourlyFile), AIRecordsJson::encodeHourlySnapshots(payload->hourly));
}
