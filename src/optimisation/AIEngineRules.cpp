// The rules of the learning engine's pass: leaks and forecasts, anomalies, patterns,
// bottlenecks, workflows, recommendations and the personality. All run on the engine's queue.
#include "optimisation/AIEngine.h"

#include "core/CFormat.h"
#include "core/AppSettings.h"
#include "core/Dates.h"
#include "monitoring/MonitorRules.h"
#include "monitoring/MonitorState.h"
#include "monitoring/IncidentLedger.h"
#include "platform/ProcessControl.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <unistd.h>

using Type = AIInsight::InsightType;
using Severity = AIInsight::Severity;

namespace {

QString percent(double value) { return cformat("%.0f%%", value); }
QString megabytes(double value) { return cformat("%.0f MB", value); }

double epochSeconds(const QDateTime& time) { return double(time.toMSecsSinceEpoch()) / 1000.0; }

template <typename T>
QList<T> lastOf(const QList<T>& list, qsizetype count)
{
    return list.size() <= count ? list : list.mid(list.size() - count);
}

// The first of equals wins.
template <typename Key>
std::optional<ProcessInfoItem> topBy(const QList<ProcessInfoItem>& processes, Key key)
{
    std::optional<ProcessInfoItem> top;
    for (const ProcessInfoItem& p : processes) {
        if (!top || key(p) > key(*top)) top = p;
    }
    return top;
}

}  // namespace

// --- Leaks and forecasts ---------------------------------------------------------------

QList<MemoryLeak> AIEngine::detectMemoryLeaks(const QList<ProcessInfoItem>& processes) const
{
    QList<MemoryLeak> leaks;
    for (const ProcessInfoItem& p : processes) {
        const auto found = m_state.memoryTracker.constFind(p.pid);
        if (found == m_state.memoryTracker.constEnd() || found->size() < 20) continue;
        const QList<MemoryObservation>& series = *found;
        const QDateTime& t0 = series.first().timestamp;
        double n = 0, sx = 0, sy = 0, sxy = 0, sxx = 0;
        for (const MemoryObservation& o : series) {
            const double x = Dates::secondsBetween(t0, o.timestamp);
            n += 1;
            sx += x;
            sy += o.memoryMB;
            sxy += x * o.memoryMB;
            sxx += x * x;
        }
        const double d = n * sxx - sx * sx;
        if (d == 0) continue;
        const double slope = (n * sxy - sx * sy) / d;
        const double growth = slope * 3600;
        if (!(growth > 50)) continue;
        const double intercept = (sy - sx * slope) / n;
        const double mean = sy / n;
        double ssRes = 0, ssTot = 0;
        for (const MemoryObservation& o : series) {
            const double x = Dates::secondsBetween(t0, o.timestamp);
            const double fit = intercept + slope * x;
            ssRes += (o.memoryMB - fit) * (o.memoryMB - fit);
            ssTot += (o.memoryMB - mean) * (o.memoryMB - mean);
        }
        if (!(ssTot > 0)) continue;
        const double r2 = 1 - ssRes / ssTot;
        if (!(r2 > 0.7)) continue;
        leaks.append(MemoryLeak{.processName = p.name,
                                .pid = p.pid,
                                .startMemoryMB = series.first().memoryMB,
                                .currentMemoryMB = series.last().memoryMB,
                                .growthRateMBPerHour = growth,
                                .firstDetected = t0,
                                .confidence = r2});
    }
    std::stable_sort(leaks.begin(), leaks.end(), [](const MemoryLeak& a, const MemoryLeak& b) {
        return a.growthRateMBPerHour > b.growthRateMBPerHour;
    });
    return leaks;
}

std::optional<AIInsight> AIEngine::predictDiskFull()
{
    const QList<DiskHistoryEntry>& history = m_state.diskGrowthHistory;
    if (history.size() < 20) return std::nullopt;
    QList<QPair<double, double>> points;
    for (const DiskHistoryEntry& e : lastOf(history, 100)) points.append({epochSeconds(e.timestamp), double(e.usedBytes)});
    // One large download in the last minutes is not a trend: the fitted readings must cover
    // hours before they forecast anything. Until then the published date stays as it is.
    if (points.last().first - points.first().first < diskForecastMinSpanSeconds) return std::nullopt;
    const std::optional<double> slope = linearSlope(points);
    if (!slope || *slope <= 0) {
        setPrediction(&AIEngine::m_predictedDiskFullDate, std::nullopt);
        return std::nullopt;
    }
    const uint64_t lastUsed = history.last().usedBytes;
    // The size of the disk the sampler measures; a disk it could not read gives no forecast.
    const uint64_t total = m_state.lastDiskTotal;
    if (total == 0 || lastUsed > total) return std::nullopt;
    const double seconds = double(total - lastUsed) / *slope;
    const double days = seconds / 86400;
    if (!(days > 0 && days < 30)) {
        setPrediction(&AIEngine::m_predictedDiskFullDate, std::nullopt);
        return std::nullopt;
    }
    const QDateTime fullDate = m_context.now.addMSecs(qint64(seconds * 1000));
    setPrediction(&AIEngine::m_predictedDiskFullDate, fullDate);
    const QString date = QLocale().toString(fullDate.toLocalTime().date(), QStringLiteral("MMM d, yyyy"));
    const Severity severity = days < 3 ? Severity::critical : days < 7 ? Severity::warning : Severity::info;
    return makeInsight(Type::diskPrediction, QStringLiteral("Disk space prediction"),
                       QStringLiteral("At current usage rate, your disk will be full in ") +
                           QString::number(qint64(days)) + QStringLiteral(" days (") + date + QStringLiteral(")."),
                       severity, true);
}

std::optional<AIInsight> AIEngine::predictMemoryPressure()
{
    const QList<MemoryPressureEntry>& history = m_state.memoryPressureHistory;
    if (history.size() < 30) return std::nullopt;
    QList<QPair<double, double>> points;
    for (const MemoryPressureEntry& e : lastOf(history, 60)) points.append({epochSeconds(e.timestamp), e.pressure});
    auto clear = [this] {
        m_state.predictedMemoryPressureSpike.reset();
        setPrediction(&AIEngine::m_predictedMemoryPressureSpike, std::nullopt);
    };
    const std::optional<double> slope = linearSlope(points);
    if (!slope || *slope <= 0) {
        clear();
        return std::nullopt;
    }
    const double current = history.last().pressure;
    if (current >= 90) return std::nullopt;
    const double seconds = (90 - current) / *slope;
    const double minutes = seconds / 60;
    if (!(minutes > 0 && minutes < 60)) {
        clear();
        return std::nullopt;
    }
    const QDateTime spike = m_context.now.addMSecs(qint64(seconds * 1000));
    m_state.predictedMemoryPressureSpike = spike;
    setPrediction(&AIEngine::m_predictedMemoryPressureSpike, spike);
    return makeInsight(Type::memoryAnomaly, QStringLiteral("Memory pressure rising"),
                       QStringLiteral("Trend predicts memory pressure will hit 90% in ~") +
                           QString::number(qint64(minutes)) + QStringLiteral(" min. Consider freeing memory now."),
                       minutes < 10 ? Severity::warning : Severity::info, true);
}

std::optional<AIInsight> AIEngine::firePreemptiveRelief(const QList<ProcessInfoItem>& processes)
{
    if (!m_context.preemptiveReliefEnabled) return std::nullopt;
    const QDateTime& now = m_context.now;
    const std::optional<QDateTime>& spike = m_state.predictedMemoryPressureSpike;
    if (!spike) return std::nullopt;
    const double until = Dates::secondsBetween(now, *spike);
    if (!(until > 0 && until < 600)) return std::nullopt;
    if (m_state.lastPreemptiveReliefAt && Dates::secondsBetween(*m_state.lastPreemptiveReliefAt, now) < 600) {
        return std::nullopt;
    }

    if (m_c.runMemoryRelief) postToMain(m_c.runMemoryRelief);

    // Never this application, nor what the session cannot do without: its bus (by the bus's
    // answer, and by name for a bus that does not say) and its notification daemon.
    QSet<int32_t> spared = m_c.sessionServices ? m_c.sessionServices() : QSet<int32_t>();
    spared.insert(int32_t(::getpid()));
    auto isSessionBus = [](const QString& name) {
        return name == QLatin1String("dbus-daemon") || name.startsWith(QLatin1String("dbus-broker"));
    };
    QList<ProcessInfoItem> candidates;
    for (const ProcessInfoItem& p : processes) {
        // Kernel threads and pid 1 are never acted on.
        if (p.isProtected || MonitorRules::isUntouchable(p) || spared.contains(p.pid) || isSessionBus(p.name)) continue;
        candidates.append(p);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.memoryMB > b.memoryMB; });
    candidates = candidates.mid(0, std::min<qsizetype>(3, candidates.size()));

    // Only what was changed is named; what could not be changed is counted.
    QStringList names;
    int failures = 0;
    IncidentLedger* incidents = &m_c.incidents;
    for (const ProcessInfoItem& p : candidates) {
        if (p.pid < 0) continue;
        const ProcessStatus lowered = m_c.processControl.lowerPriority({p.pid, p.startTime}, ProcessOwner::thisUser);
        if (lowered.leftAlone()) continue;
        if (lowered) {
            names.append(p.name);
            const QString name = p.name;
            postToMain([incidents, name] { incidents->recordIncident(name); });
        } else {
            ++failures;
        }
    }
    m_state.lastPreemptiveReliefAt = now;

    const QString minutes = QString::number(qint64(until / 60));
    QString detail = names.isEmpty()
                         ? QStringLiteral("Pre-emptive memory relief fired \u2014 predicted spike in ~") + minutes +
                               QStringLiteral(" min.")
                         : QStringLiteral("Pre-emptive memory relief fired \u2014 throttled ") +
                               names.join(QStringLiteral(", ")) + QStringLiteral(". Predicted spike in ~") + minutes +
                               QStringLiteral(" min.");
    if (failures > 0) {
        detail += QStringLiteral(" \u2014 ") + QString::number(failures) +
                  (failures == 1 ? QStringLiteral(" process") : QStringLiteral(" processes")) +
                  QStringLiteral(" could not be changed.");
    }

    MonitorState* monitor = &m_c.monitor;
    const ActionRecord record = ActionRecord::make(ActionType::memoryFreed, QStringLiteral("Pre-emptive Relief"), detail, now, true);
    postToMain([monitor, record] { monitor->logAction(record); });
    return makeInsight(Type::recommendation, QStringLiteral("Memory relief fired pre-emptively"), detail, Severity::info,
                       false);
}

std::optional<AIInsight> AIEngine::predictThermalThrottling() const
{
    const QList<ThermalReading>& history = m_state.thermalHistory;
    if (history.size() < 12) return std::nullopt;
    QList<QPair<double, double>> points;
    for (const ThermalReading& r : lastOf(history, 30)) points.append({r.t, r.temp});
    const std::optional<double> slope = linearSlope(points);
    if (!slope || *slope <= 0) return std::nullopt;
    const double current = history.last().temp;
    if (current >= 95) return std::nullopt;
    const double minutes = (95 - current) / *slope / 60;
    if (!(minutes > 0 && minutes < 20)) return std::nullopt;
    return makeInsight(Type::thermalPrediction, QStringLiteral("Throttling predicted"),
                       QStringLiteral("At the current warming rate (now ") +
                           AppSettings::formatTemperature(current, true, m_context.fahrenheit) +
                           QStringLiteral("), your computer will hit thermal throttling in ~") +
                           QString::number(qint64(minutes)) +
                           QStringLiteral(" min. Close a heavy app or improve airflow to stay at full speed."),
                       minutes < 5 ? Severity::warning : Severity::info, true);
}

// --- Judging rules ---------------------------------------------------------------------

QList<AIInsight> AIEngine::detectCPUAnomalies(const PerformanceSnapshot& snapshot,
                                              const QList<ProcessInfoItem>& processes) const
{
    QList<AIInsight> result;
    const int hour = m_context.now.toLocalTime().time().hour();
    const QList<SystemObservation> obs = m_state.hourlySnapshots.value(hour);
    if (obs.size() >= 10) {
        QList<double> values;
        values.reserve(obs.size());
        for (const SystemObservation& o : obs) values.append(o.cpuUsage);
        double sum = 0;
        for (double v : values) sum += v;
        const double mean = sum / double(values.size());
        const double sd = standardDeviation(values);
        const double cpu = snapshot.cpuUsage;
        if (cpu > mean + 2 * sd && cpu > 50) {
            result.append(makeInsight(Type::cpuAnomaly, QStringLiteral("Unusual CPU activity"),
                                      QStringLiteral("CPU at ") + percent(cpu) +
                                          QStringLiteral(" is significantly above your typical ") + percent(mean) +
                                          QStringLiteral(" at this hour."),
                                      cpu > 85 ? Severity::warning : Severity::info, true));
        }
    }
    for (const ProcessInfoItem& p : processes) {
        const auto found = m_state.baselinesInternal.constFind(p.name);
        if (found == m_state.baselinesInternal.constEnd() || found->sampleCount < 10) continue;
        const ProcessBaseline& b = *found;
        if (p.cpuUsage > b.avgCPU + 3 * std::max(b.stdDevCPU, 5.0) && p.cpuUsage > 30) {
            result.append(makeInsight(Type::cpuAnomaly, p.name + QStringLiteral(" using unusual CPU"),
                                      QStringLiteral("Currently ") + percent(p.cpuUsage) + QStringLiteral(" vs typical ") +
                                          percent(b.avgCPU) + QStringLiteral("."),
                                      Severity::warning, true));
        }
        if (p.memoryMB > 3 * b.avgMemoryMB && p.memoryMB > 500) {
            result.append(makeInsight(Type::memoryAnomaly, p.name + QStringLiteral(" memory spike"),
                                      QStringLiteral("Using ") + megabytes(p.memoryMB) + QStringLiteral(" vs typical ") +
                                          megabytes(b.avgMemoryMB) + QStringLiteral("."),
                                      Severity::warning, true));
        }
    }
    return result;
}

QString AIEngine::hourLabel(int hour)
{
    const int twelve = hour == 0 ? 12 : hour <= 12 ? hour : hour - 12;
    return QString::number(twelve) + (hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

namespace {

// (hour, mean CPU) of every hour with at least five observations.
QList<QPair<int, double>> qualifyingHours(const HourlySnapshots& hourly)
{
    QList<QPair<int, double>> result;
    for (auto it = hourly.cbegin(); it != hourly.cend(); ++it) {
        if (it->size() < 5) continue;
        double sum = 0;
        for (const SystemObservation& o : *it) sum += o.cpuUsage;
        result.append({it.key(), sum / double(it->size())});
    }
    return result;
}

}  // namespace

std::optional<AIInsight> AIEngine::detectUsagePattern() const
{
    if (m_state.observationCount <= 100) return std::nullopt;
    QList<QPair<int, double>> hours = qualifyingHours(m_state.hourlySnapshots);
    if (hours.size() < 6) return std::nullopt;
    std::stable_sort(hours.begin(), hours.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    QStringList peak, quiet;
    for (qsizetype i = 0; i < 3; ++i) peak.append(hourLabel(hours[i].first));
    for (qsizetype i = hours.size() - 3; i < hours.size(); ++i) quiet.append(hourLabel(hours[i].first));
    return makeInsight(Type::pattern, QStringLiteral("Usage pattern detected"),
                       QStringLiteral("Peak hours: ") + peak.join(QStringLiteral(", ")) + QStringLiteral(". Quiet hours: ") +
                           quiet.join(QStringLiteral(", ")) +
                           QStringLiteral(". Maintenance scheduled around quiet periods."),
                       Severity::info, false);
}

QString AIEngine::explainProcessLoad(const QString& name)
{
    static const QList<QPair<QString, QString>> table = {
        {QStringLiteral("backupd"), QStringLiteral("backup")},
        {QStringLiteral("timemachine"), QStringLiteral("backup")},
        {QStringLiteral("mds"), QStringLiteral("Search Index indexing")},
        {QStringLiteral("mdworker"), QStringLiteral("Search Index indexing")},
        {QStringLiteral("spotlight"), QStringLiteral("Search Index indexing")},
        {QStringLiteral("kernel_task"), QStringLiteral("the system cooling itself (kernel_task)")},
        {QStringLiteral("windowserver"), QStringLiteral("graphics compositing (WindowServer)")},
        {QStringLiteral("cloudd"), QStringLiteral("cloud syncing")},
        {QStringLiteral("bird"), QStringLiteral("cloud syncing")},
        {QStringLiteral("photolibraryd"), QStringLiteral("Photos analysis")},
        {QStringLiteral("photoanalysisd"), QStringLiteral("Photos analysis")},
        // Linux
        {QStringLiteral("kswapd"), QStringLiteral("the kernel reclaiming memory (kswapd)")},
        {QStringLiteral("tracker-miner"), QStringLiteral("Search Index indexing")},
        {QStringLiteral("baloo"), QStringLiteral("Search Index indexing")},
        {QStringLiteral("xorg"), QStringLiteral("graphics compositing (the compositor)")},
        {QStringLiteral("xwayland"), QStringLiteral("graphics compositing (the compositor)")},
        {QStringLiteral("gnome-shell"), QStringLiteral("graphics compositing (the compositor)")},
        {QStringLiteral("kwin"), QStringLiteral("graphics compositing (the compositor)")},
        {QStringLiteral("packagekit"), QStringLiteral("system updates")},
        {QStringLiteral("unattended-upgr"), QStringLiteral("system updates")},
        {QStringLiteral("dpkg"), QStringLiteral("system updates")},
        {QStringLiteral("nextcloud"), QStringLiteral("cloud syncing")},
        {QStringLiteral("dropbox"), QStringLiteral("cloud syncing")},
        {QStringLiteral("onedrive"), QStringLiteral("cloud syncing")},
        {QStringLiteral("syncthing"), QStringLiteral("cloud syncing")},
    };
    const QString lower = name.toLower();
    for (const auto& [fragment, text] : table) {
        if (nameMatches(lower, fragment)) return text;
    }
    return name;
}

std::optional<AIInsight> AIEngine::detectBottlenecks(const PerformanceSnapshot& snapshot,
                                                     const QList<ProcessInfoItem>& processes) const
{
    const auto byCPU = [](const ProcessInfoItem& p) { return p.cpuUsage; };
    const bool thermal = snapshot.thermalState == ThermalLevel::serious || snapshot.thermalState == ThermalLevel::critical ||
                         (snapshot.cpuTempC && *snapshot.cpuTempC >= 90);
    if (thermal) {
        QString detail = QStringLiteral("Your computer is thermally limited");
        if (snapshot.cpuTempC) detail += cformat(" (%.0f", *snapshot.cpuTempC) + QStringLiteral("\u00B0C)");
        if (const auto top = topBy(processes, byCPU)) {
            detail += QStringLiteral(" \u2014 driven by ") + explainProcessLoad(top->name);
        }
        detail += QStringLiteral(". Performance is being throttled to cool down.");
        return makeInsight(Type::bottleneck, QStringLiteral("Thermal bottleneck"), detail,
                           snapshot.thermalState == ThermalLevel::critical ? Severity::critical : Severity::warning, true);
    }
    if (snapshot.memoryPressure >= 75) {
        QString detail = QStringLiteral("Memory pressure at ") + percent(snapshot.memoryPressure) +
                         QStringLiteral(" \u2014 the system is compressing/swapping, which slows everything.");
        if (const auto top = topBy(processes, [](const ProcessInfoItem& p) { return p.memoryMB; })) {
            detail += QStringLiteral(" Top consumer: ") + top->name + QStringLiteral(" (") + megabytes(top->memoryMB) +
                      QStringLiteral(").");
        }
        return makeInsight(Type::bottleneck, QStringLiteral("Memory bottleneck"), detail,
                           snapshot.memoryPressure >= 90 ? Severity::critical : Severity::warning, true);
    }
    if (snapshot.cpuUsage >= 85 && !processes.isEmpty()) {
        const ProcessInfoItem top = *topBy(processes, byCPU);
        if (top.cpuUsage >= 60) {
            return makeInsight(Type::bottleneck, QStringLiteral("CPU bottleneck"),
                               QStringLiteral("CPU saturated at ") + percent(snapshot.cpuUsage) + QStringLiteral(" \u2014 ") +
                                   explainProcessLoad(top.name) + QStringLiteral(" is using ") + percent(top.cpuUsage) +
                                   QStringLiteral(". Other apps will feel sluggish until it settles."),
                               Severity::warning, true);
        }
    }
    return std::nullopt;
}

bool AIEngine::nameMatches(const QString& lowerName, const QString& fragment)
{
    // These fragments each name one program, and as substrings they hit unrelated Linux
    // processes (systemd-resolved, thunderbird): they match that program's name only.
    static const QStringList wholeNames = {QStringLiteral("bird"), QStringLiteral("resolve")};
    if (wholeNames.contains(fragment)) return lowerName == fragment;
    return lowerName.contains(fragment);
}

bool AIEngine::anyNameContains(const QStringList& lowerNames, const QStringList& fragments)
{
    for (const QString& name : lowerNames) {
        for (const QString& fragment : fragments) {
            if (nameMatches(name, fragment)) return true;
        }
    }
    return false;
}

std::optional<AIInsight> AIEngine::detectWorkflow(const QList<ProcessInfoItem>& processes) const
{
    struct Workflow {
        QStringList fragments;
        QString word;
        QString detail;
    };
    static const QList<Workflow> workflows = {
        {{"zoom", "microsoft teams", "webex", "google meet", "teams-for-linux", "jitsi", "skypeforlinux"},
         QStringLiteral("Meeting"),
         QStringLiteral("Conferencing detected \u2014 Veltranmoor is holding off background sweeps and protecting "
                        "audio/video processes so your call stays smooth.")},
        {{"xcode", "cursor", "code helper", "vscode", "intellij", "pycharm", "codium", "idea", "clion", "qtcreator",
          "kdevelop", "android-studio"},
         QStringLiteral("Coding"),
         QStringLiteral("Dev workflow detected \u2014 build tools and language servers are prioritized; runaway helpers "
                        "are watched but your active toolchain is protected.")},
        {{"final cut", "davinci", "premiere", "photoshop", "logic pro", "blender", "figma", "kdenlive", "gimp", "krita",
          "inkscape", "darktable", "ardour", "resolve"},
         QStringLiteral("Creative"),
         QStringLiteral("Creative workflow detected \u2014 render and export processes are prioritized and thermal "
                        "headroom is watched to avoid mid-render throttling.")},
    };
    QStringList names;
    names.reserve(processes.size());
    for (const ProcessInfoItem& p : processes) names.append(p.name.toLower());
    for (const Workflow& w : workflows) {
        if (anyNameContains(names, w.fragments)) {
            return makeInsight(Type::workflow, w.word + QStringLiteral(" mode"), w.detail, Severity::info, false);
        }
    }
    return std::nullopt;
}

QList<AIInsight> AIEngine::buildRecommendations(const PerformanceSnapshot& snapshot,
                                                const QList<ProcessInfoItem>& processes,
                                                const QList<MemoryLeak>& leaks) const
{
    QList<AIInsight> result;
    if (snapshot.memoryTotal > 0 && snapshot.memoryUsed / snapshot.memoryTotal * 100 > 85) {
        QList<ProcessInfoItem> largest = processes;
        std::stable_sort(largest.begin(), largest.end(),
                         [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.memoryMB > b.memoryMB; });
        QStringList names;
        for (qsizetype i = 0; i < std::min<qsizetype>(3, largest.size()); ++i) {
            names.append(largest[i].name + QStringLiteral(" (") + megabytes(largest[i].memoryMB) + QStringLiteral(")"));
        }
        result.append(makeInsight(Type::recommendation, QStringLiteral("Memory pressure high"),
                                  QStringLiteral("Consider closing: ") + names.join(QStringLiteral(", ")),
                                  Severity::warning, true));
    }
    const QList<QPair<QString, int>>& incidents = m_context.incidents;
    for (qsizetype i = 0; i < std::min<qsizetype>(3, incidents.size()); ++i) {
        const auto& [name, count] = incidents[i];
        if (count <= 4) continue;
        result.append(makeInsight(Type::recommendation, QStringLiteral("Chronic offender: ") + name,
                                  QStringLiteral("Throttled ") + QString::number(count) +
                                      QStringLiteral(" times. Consider adding to protected list or investigating root cause."),
                                  Severity::info, true));
    }
    for (const MemoryLeak& leak : leaks) {
        if (!(leak.confidence > 0.8)) continue;
        result.append(makeInsight(Type::memoryLeak, QStringLiteral("Memory leak: ") + leak.processName,
                                  QStringLiteral("Growing at ") + megabytes(leak.growthRateMBPerHour) +
                                      QStringLiteral("/hr. Currently ") + megabytes(leak.currentMemoryMB) +
                                      QStringLiteral(". Consider restarting."),
                                  Severity::warning, true));
    }
    for (auto it = m_state.throttleEffectiveness.cbegin(); it != m_state.throttleEffectiveness.cend(); ++it) {
        if (it->attempts < 3) continue;
        const double rate = double(it->successes) / double(it->attempts);
        if (!(rate < 0.34)) continue;
        result.append(makeInsight(Type::recommendation, QStringLiteral("Throttle ineffective: ") + it.key(),
                                  QStringLiteral("Throttling rarely lowers ") + it.key() + QStringLiteral("'s CPU (") +
                                      QString::number(qint64(rate * 100)) + QStringLiteral("% success over ") +
                                      QString::number(it->attempts) +
                                      QStringLiteral(" tries). Consider a different strategy."),
                                  Severity::info, true));
    }
    return result;
}

QString AIEngine::updatePersonality() const
{
    qsizetype total = 0;
    double sum = 0;
    for (const QList<SystemObservation>& list : m_state.hourlySnapshots) {
        total += list.size();
        for (const SystemObservation& o : list) sum += o.cpuUsage;
    }
    if (total < 50) return QStringLiteral("Learning your patterns...");
    const double mean = sum / double(total);
    const qsizetype busy = busyHours(m_state.hourlySnapshots).size();
    if (mean > 50 && busy > 8) return QStringLiteral("Power User \u2014 Heavy multitasker");
    if (mean <= 30 && busy < 5) return QStringLiteral("Light User \u2014 Efficient usage");
    if (mean <= 30) return QStringLiteral("Burst Worker \u2014 Focused work sessions");
    return QStringLiteral("Active User \u2014 Moderate load patterns");
}

double AIEngine::updateLearningLevel() const
{
    const double observations = std::min(1.0, double(m_state.observationCount) / 1000.0);
    const double baselines = std::min(1.0, double(m_state.baselinesInternal.size()) / 30.0);
    const double hours = std::min(1.0, double(coveredHours(m_state.hourlySnapshots).size()) / 24.0);
    return (observations + baselines + hours) / 3.0;
}

QList<int> AIEngine::computeQuietHours() const
{
    QList<QPair<int, double>> hours = qualifyingHours(m_state.hourlySnapshots);
    if (hours.size() < 6) return {2, 3, 4, 5};
    std::stable_sort(hours.begin(), hours.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    QList<int> result;
    for (qsizetype i = 0; i < std::min<qsizetype>(4, hours.size()); ++i) result.append(hours[i].first);
    std::sort(result.begin(), result.end());
    return result;
}
