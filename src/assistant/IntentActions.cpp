#include "assistant/IntentActions.h"
#include "core/CFormat.h"
#include "monitoring/ProcessStopper.h"

#include "assistant/AssistantServices.h"
#include "assistant/DnsFlusher.h"
#include "assistant/MemoryRelief.h"
#include "core/ByteCountFormatter.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/MonitorState.h"
#include "optimisation/ProfileService.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kGiB = 1073741824.0;

// A whole number cut toward zero; a value that is not a number reads 0.
qint64 truncated(double value)
{
    if (!std::isfinite(value)) return 0;
    const double clamped = std::clamp(value, -9.0e18, 9.0e18);
    return qint64(std::trunc(clamped));
}

bool isWordChar(QChar c) { return c.isLetterOrNumber(); }

}  // namespace

bool containsWholeWords(const QString& name, const QString& target)
{
    if (target.isEmpty()) return false;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = name.indexOf(target, from);
        if (at < 0) return false;
        qsizetype end = at + target.size();
        // A version after a word still ends it: "python3" and "php8.2" are python and php.
        if (isWordChar(target.back()) && !target.back().isDigit() && end < name.size() && name.at(end).isDigit()) {
            while (end < name.size() && (name.at(end).isDigit() || name.at(end) == QLatin1Char('.'))) ++end;
        }
        const bool startsWord = at == 0 || !isWordChar(name.at(at - 1)) || !isWordChar(target.front());
        const bool endsWord = end == name.size() || !isWordChar(name.at(end)) || !isWordChar(target.back());
        if (startsWord && endsWord) return true;
        from = at + 1;
    }
}

QString profileDetail(PerformanceMode mode)
{
    switch (mode) {
    case PerformanceMode::maxPerformance: return QStringLiteral("All-out speed. Aggressive throttling of non-essential processes.");
    case PerformanceMode::balanced: return QStringLiteral("Smart optimization with minimal interference.");
    case PerformanceMode::batterySaver: return QStringLiteral("Extend battery life. Reduced monitoring, lenient thresholds.");
    case PerformanceMode::creativeWork: return QStringLiteral("Protect creative apps. Prioritize audio/video workflows.");
    case PerformanceMode::developer: return QStringLiteral("Protect IDEs and build tools. Throttle everything else.");
    case PerformanceMode::gaming: return QStringLiteral("Maximum FPS. Kill background resource hogs.");
    }
    return QString();
}

QString machineStatusSummary(const MonitorState& monitor)
{
    const PerformanceSnapshot snapshot = monitor.currentSnapshot();
    const HealthScore health = monitor.currentHealth();
    const double freeGB =
        snapshot.diskTotal > snapshot.diskUsed ? double(snapshot.diskTotal - snapshot.diskUsed) / kGiB : 0;
    return QStringLiteral("Health ") + QString::number(health.score) + QStringLiteral("/100 \u00B7 CPU ") +
           QString::number(truncated(snapshot.cpuUsage)) + QStringLiteral("% \u00B7 Mem pressure ") +
           QString::number(truncated(snapshot.memoryPressure)) + QStringLiteral("% \u00B7 ") +
           cformat("%.0fGB free", freeGB);
}

QString nothingToCleanText() { return QStringLiteral("Nothing safe to clean right now."); }

TavrilonAction::HistoryRow cacheCleanupHistory(const QString& title)
{
    return {ActionType::cacheCleared, title, [](const QString& outcome) { return outcome != nothingToCleanText(); }};
}

QString performCacheCleanup(CacheCleaner& cleaner)
{
    const QList<CleanupTarget> cleaned = cleaner.cleanSafeTargets();
    if (cleaned.isEmpty()) return nothingToCleanText();
    uint64_t bytes = 0;
    for (const CleanupTarget& target : cleaned) bytes += target.sizeBytes;
    // In the byte-count formatter's units: 41 MB moved must not read "0.0GB", as if nothing was.
    // The bytes are in the Trash, on the same disk, until it is emptied: "moved", not "freed".
    const int locations = int(cleaned.size());
    return QStringLiteral("Moved ") + formatByteCount(qint64(std::min<uint64_t>(bytes, uint64_t(INT64_MAX)))) +
           cformat(" from %d ", locations) +
           (locations == 1 ? QStringLiteral("cache location") : QStringLiteral("cache locations")) +
           QStringLiteral(" to the Trash.");
}

QString performDNSFlush(DnsFlusher& dns)
{
    // The flush finishes later; the chat reports only that it was asked for.
    dns.flushDNS([](Status) {});
    return QStringLiteral("DNS cache flush requested.");
}

QString performProfileSwitch(PerformanceMode mode, const AssistantServices& services)
{
    services.profiles.switchProfile(mode);
    return QStringLiteral("Switched to ") + PerformanceModes::rawValue(mode) + QStringLiteral(" profile.");
}

static QString stopSentText() { return QStringLiteral("Sent stop signal to "); }

QString performStopProcess(const QString& name, const AssistantServices& services)
{
    const QString wanted = name.toLower();
    const QList<ProcessInfoItem> processes = services.monitor.topProcesses();
    QString othersOnly;
    for (const ProcessInfoItem& process : processes) {
        if (!containsWholeWords(process.name.toLower(), wanted)) continue;
        if (process.isProtected) return process.name + QStringLiteral(" is protected and was not stopped.");
        const QString named = process.name + QStringLiteral(" (pid ") + QString::number(process.pid) + QLatin1Char(')');
        // Asked for by name, so only the user's own processes are reached.
        const ProcessStatus stopped = services.processes.killProcess(process, ProcessOwner::thisUser);
        if (stopped.kind() == ProcessStatus::Kind::exited) return named + QStringLiteral(" has already exited; nothing was stopped.");
        if (stopped.kind() == ProcessStatus::Kind::otherUser) {
            // A process of the same name may still be the user's own further down.
            if (othersOnly.isEmpty()) othersOnly = named + QStringLiteral(" belongs to another user and was not stopped.");
            continue;
        }
        const QString sent = stopSentText() + named;
        if (!stopped) return sent + QStringLiteral(" \u2014 failed: ") + stopped.error() + QLatin1Char('.');
        return sent + QLatin1Char('.');
    }
    if (!othersOnly.isEmpty()) return othersOnly;
    return QStringLiteral("No running process matched \u201C") + name + QStringLiteral("\u201D.");
}

TavrilonAction makeStatusAction(const AssistantServices& services)
{
    TavrilonAction action;
    action.title = QStringLiteral("Machine status");
    action.detail = QStringLiteral("Reports current health, CPU, memory pressure, and free disk.");
    action.risk = ActionRisk::safe;
    const MonitorState* monitor = &services.monitor;
    action.perform = [monitor] { return machineStatusSummary(*monitor); };
    return action;
}

TavrilonAction makeCleanAction(qint64 sizeGB, const AssistantServices& services)
{
    TavrilonAction action;
    action.title = sizeGB >= 1 ? QStringLiteral("Free up ~") + QString::number(sizeGB) + QStringLiteral("GB")
                               : QStringLiteral("Clean caches & junk");
    action.detail = QStringLiteral("Removes regenerable caches, logs, and trash. Apps rebuild these on demand.");
    action.risk = ActionRisk::reversible;
    CacheCleaner* cleaner = &services.cleaner;
    action.perform = [cleaner] { return performCacheCleanup(*cleaner); };
    action.slow = true;
    action.epitopeID = QStringLiteral("clean-caches");
    action.outcomeMetric = OutcomeMetric::diskFreedGB;
    action.history = cacheCleanupHistory(action.title);
    return action;
}

TavrilonAction makeMemoryReliefAction()
{
    TavrilonAction action;
    action.title = QStringLiteral("Relieve memory pressure");
    action.detail = QStringLiteral("Returns this application's unused memory to the system. Sandbox-safe.");
    action.risk = ActionRisk::reversible;
    action.perform = [] { return performMemoryRelief(); };
    action.epitopeID = QStringLiteral("relieve-mem");
    action.outcomeMetric = OutcomeMetric::memPressureDrop;
    action.history = TavrilonAction::HistoryRow{ActionType::memoryFreed, action.title, {}};
    return action;
}

TavrilonAction makeDNSFlushAction(const AssistantServices& services)
{
    TavrilonAction action;
    action.title = QStringLiteral("Flush DNS cache");
    action.detail = QStringLiteral("Clears the system DNS resolver cache. Reversible \u2014 it simply repopulates.");
    action.risk = ActionRisk::reversible;
    DnsFlusher* dns = &services.dns;
    action.perform = [dns] { return performDNSFlush(*dns); };
    return action;
}

TavrilonAction makeProfileAction(PerformanceMode mode, const AssistantServices& services)
{
    const QString raw = PerformanceModes::rawValue(mode);
    const PerformanceMode previous = services.profiles.activeProfile();
    TavrilonAction action;
    action.title = QStringLiteral("Optimize: ") + raw;
    action.detail = profileDetail(mode);
    action.risk = ActionRisk::reversible;
    // The lambdas hold the services' references, not the struct they came in.
    action.perform = [mode, services] { return performProfileSwitch(mode, services); };
    ProfileService* profiles = &services.profiles;
    action.undo = [previous, profiles] { profiles->switchProfile(previous); };
    action.epitopeID = QStringLiteral("optimize:") + raw.toLower();
    action.outcomeMetric =
        services.monitor.currentSnapshot().cpuTempC ? OutcomeMetric::tempDropC : OutcomeMetric::cpuDrop;
    return action;
}

TavrilonAction makeStopAction(const QString& name, const AssistantServices& services)
{
    TavrilonAction action;
    action.title = QStringLiteral("Stop ") + name;
    action.detail = QStringLiteral("Force-quits the process matching \u201C") + name +
                    QStringLiteral("\u201D. Unsaved work in it is lost.");
    action.risk = ActionRisk::destructive;
    action.concerns = {QStringLiteral("Force-quitting loses any unsaved work in ") + name + QLatin1Char('.'),
                       QStringLiteral("If ") + name + QStringLiteral(" is mid-write, files it was saving may be corrupted."),
                       QStringLiteral("System-critical processes are refused even with YOLO on.")};
    action.saferAlternatives = {
        QStringLiteral("Throttle ") + name + QStringLiteral(" instead of killing it (keeps it running, just slower)."),
        QStringLiteral("Quit ") + name + QStringLiteral(" yourself from its own menu so it can save first.")};
    action.perform = [name, services] { return performStopProcess(name, services); };
    action.epitopeID = QStringLiteral("stop:") + name.toLower();
    action.outcomeMetric = OutcomeMetric::cpuDrop;
    // A stop that was refused, failed or found nothing killed nothing.
    action.history = TavrilonAction::HistoryRow{ActionType::processKilled, name, [](const QString& outcome) {
        return outcome.startsWith(stopSentText()) && !outcome.contains(QStringLiteral(" \u2014 failed: "));
    }};
    return action;
}
