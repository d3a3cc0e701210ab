#include "optimisation/ProactiveOptimizer.h"

#include "actions/ActionGate.h"
#include "actions/DiskCleaner.h"
#include "actions/EpitopeLibrary.h"
#include "actions/OutcomeHarness.h"
#include "core/AppSettings.h"
#include "core/ByteCountFormatter.h"
#include "core/CFormat.h"
#include "core/Clock.h"
#include "core/Dates.h"
#include "core/Json.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "monitoring/MonitorState.h"

#include <QDir>
#include <QPointer>

#include <algorithm>

namespace {

void sortByConfidence(QList<RegrowPattern>& patterns)
{
    std::stable_sort(patterns.begin(), patterns.end(),
                     [](const RegrowPattern& a, const RegrowPattern& b) { return a.confidence() > b.confidence(); });
}

QString sizeText(uint64_t bytes) { return formatByteCount(qint64(bytes)); }

}  // namespace

ProactiveOptimizer::ProactiveOptimizer(Collaborators collaborators, QString directory, QObject* parent)
    : QObject(parent), m_c(collaborators), m_directory(std::move(directory))
{
    loadPatterns();
}

QString ProactiveOptimizer::filePath() const
{
    const QString dir = m_directory.isEmpty() ? Paths::aiDir() : m_directory;
    QDir().mkpath(dir);  // a folder that cannot be made shows up as a failed write, which is ignored
    return dir + QLatin1Char('/') + fileName();
}

void ProactiveOptimizer::loadPatterns()
{
    const std::optional<QJsonDocument> doc = Json::readFile(filePath());
    if (!doc || !doc->isArray()) return;
    std::optional<QList<RegrowPattern>> loaded = RegrowPattern::fromJsonArray(doc->array());
    if (!loaded) return;
    sortByConfidence(*loaded);
    m_patterns = *loaded;
}

void ProactiveOptimizer::savePatterns() const
{
    // A failed write leaves the previous file in place; the next observation tries again.
    (void)Json::writeViaTmpSibling(filePath(), QJsonDocument(RegrowPattern::toJsonArray(m_patterns)));
}

QMap<QString, RegrowPattern> ProactiveOptimizer::patternsByCategory() const
{
    QMap<QString, RegrowPattern> map;
    for (const RegrowPattern& p : m_patterns) {
        if (!map.contains(p.category)) map.insert(p.category, p);
    }
    return map;
}

void ProactiveOptimizer::publishPatterns(const QMap<QString, RegrowPattern>& byCategory)
{
    QList<RegrowPattern> sorted = byCategory.values();
    sortByConfidence(sorted);
    m_patterns = sorted;
    Q_EMIT patternsChanged();
}

void ProactiveOptimizer::observe(const QList<CleanupTarget>& targets)
{
    const QDateTime now = m_c.clock.now();
    QMap<QString, RegrowPattern> map = patternsByCategory();
    QMap<QString, uint64_t> sizes;
    for (const CleanupTarget& t : targets) sizes[CleanupTarget::rawValue(t.category)] += t.sizeBytes;
    for (auto it = sizes.cbegin(); it != sizes.cend(); ++it) {
        RegrowPattern p = map.value(it.key(), RegrowPattern::fresh(it.key()));
        p.displayName = it.key();
        p.lastSizeBytes = it.value();
        p.lastObservedAt = now;
        map.insert(it.key(), p);
    }
    publishPatterns(map);
    savePatterns();
}

void ProactiveOptimizer::runAutonomousSweep()
{
    if (!m_c.settings.autoCleanupEnabled()) return;
    const QDateTime now = m_c.clock.now();
    if (m_lastAutonomousSweepAt) {
        const auto since = std::chrono::milliseconds(m_lastAutonomousSweepAt->msecsTo(now));
        if (since < sweepGap - sweepGapTolerance) return;
    }
    // Set before the sweep starts, so a call while it runs finds the gap too short.
    m_lastAutonomousSweepAt = now;
    Q_EMIT lastAutonomousSweepAtChanged();

    QPointer<ProactiveOptimizer> self(this);
    EpitopeLibrary* library = &m_c.epitopes;
    m_c.harness.measureOutcome(
        OutcomeMetric::diskFreedGB, sweepEpitopeID,
        [self](std::function<void()> done) {
            if (!self) {
                done();
                return;
            }
            self->sweep(true, [done](uint64_t) { done(); });
        },
        [library](const SampleResult& result) {
            library->recordMeasuredAction(sweepEpitopeID, QStringLiteral("Proactive Sweep"), OutcomeMetric::diskFreedGB,
                                          result);
        });
}

void ProactiveOptimizer::sweep(bool automatic, std::function<void(uint64_t)> done)
{
    QPointer<ProactiveOptimizer> self(this);
    // Walking the cache folders can take seconds; the rest comes back to the main thread.
    m_c.cleaner.scanInBackground([self, automatic, done = std::move(done)](QList<CleanupTarget> targets) {
        const uint64_t total = self ? self->finishSweep(automatic, targets) : 0;
        if (done) done(total);
    });
}

uint64_t ProactiveOptimizer::finishSweep(bool automatic, const QList<CleanupTarget>& targets)
{
    observe(targets);

    QMap<QString, QList<CleanupTarget>> groups;
    for (const CleanupTarget& t : targets) groups[CleanupTarget::rawValue(t.category)].append(t);

    QMap<QString, RegrowPattern> map = patternsByCategory();
    const QDateTime now = m_c.clock.now();

    QList<RegrowPattern> candidates;
    for (const RegrowPattern& p : m_patterns) {
        if (p.confidence() < candidateConfidence) continue;
        const std::optional<Epitope> record = m_c.epitopes.epitope(categoryEpitopePrefix + p.category);
        if (record && record->state == EpitopeState::retired) continue;
        candidates.append(p);
    }
    sortByConfidence(candidates);

    uint64_t total = 0;
    QStringList clearedNames;
    bool eventsAdded = false;
    for (const RegrowPattern& candidate : candidates) {
        auto found = map.constFind(candidate.category);
        if (found == map.constEnd()) continue;
        RegrowPattern pattern = *found;
        if (pattern.lastClearedAt &&
            Dates::secondsBetween(*pattern.lastClearedAt, now) < double(reclearGap.count())) {
            continue;
        }
        const auto group = groups.constFind(candidate.category);
        if (group == groups.constEnd()) continue;
        uint64_t size = 0;
        for (const CleanupTarget& t : *group) size += t.sizeBytes;
        if (size < minimumClearBytes) continue;

        if (pattern.lastClearedAt) {
            const double hours = Dates::secondsBetween(*pattern.lastClearedAt, now) / 3600.0;
            if (hours > 0.01) pattern.addRegrowRateSample(double(size) / hours);
        }
        const QString why = regrowReason(candidate, size);

        uint64_t freed = 0;
        for (const CleanupTarget& t : *group) {
            const Preclear result = preclearTarget(t);
            if (result.cleared) freed += result.bytesMoved;
        }
        if (freed == 0) continue;  // the copy with the new sample is dropped

        pattern.cleanCount += 1;
        pattern.totalReclaimedBytes += freed;
        pattern.lastClearedAt = now;
        pattern.lastSizeBytes = 0;
        pattern.lastObservedAt = now;
        map.insert(pattern.category, pattern);
        total += freed;
        clearedNames << candidate.displayName;

        OptimizerEvent event;
        event.timestamp = now;
        event.categoryName = candidate.displayName;
        event.reclaimedBytes = freed;
        event.why = why;
        event.automatic = automatic;
        m_events.prepend(event);
        eventsAdded = true;
    }
    if (m_events.size() > eventLimit) m_events.resize(eventLimit);
    if (eventsAdded) Q_EMIT eventsChanged();

    publishPatterns(map);
    savePatterns();

    if (total == 0 && candidates.isEmpty()) {
        setSummary(QStringLiteral("Swept: no proven regrow offenders yet — still learning."));
    } else if (total == 0) {
        setSummary(QStringLiteral("Swept: offenders known, but none were large enough to clear right now."));
    } else {
        setSummary(QStringLiteral("Pre-cleared %1 — freed %2 GB from fast-regrowing caches.")
                       .arg(clearedNames.join(QStringLiteral(", ")),
                            cformat("%.2f", double(total) / 1073741824.0)));
        const ActionRecord record = ActionRecord::make(ActionType::cacheCleared, QStringLiteral("Proactive Optimizer"),
                                                       m_lastSweepSummary, now, automatic);
        MonitorState* monitor = &m_c.monitor;
        postTo(this, [monitor, record] { monitor->logAction(record); });
    }
    return total;
}

void ProactiveOptimizer::setSummary(const QString& summary)
{
    m_lastSweepSummary = summary;
    Q_EMIT lastSweepSummaryChanged();
}

QString ProactiveOptimizer::regrowReason(const RegrowPattern& pattern, uint64_t sizeBytes)
{
    const QString rate = cformat("%.0f", pattern.regrowRate() / 1048576.0);
    if (pattern.cleanCount == 0) {
        return QStringLiteral("%1 has refilled to %2 and is regrowing at ~%3 MB/hr — pre-clearing it now to stay "
                              "ahead of it.")
            .arg(pattern.displayName, sizeText(sizeBytes), rate);
    }
    return QStringLiteral("%1 regrows fast (~%2 MB/hr, seen across %3 prior clears) and is back to %4 — "
                          "pre-clearing again. This is reversible; it rebuilds on demand.")
        .arg(pattern.displayName, rate, QString::number(pattern.cleanCount), sizeText(sizeBytes));
}

ProactiveOptimizer::Preclear ProactiveOptimizer::preclearTarget(const CleanupTarget& target)
{
    auto clearing = std::make_shared<Clearing>();
    TavrilonAction action;
    action.title = QStringLiteral("Pre-clear ") + target.name;
    action.detail = QStringLiteral("Removes the regenerable ") + target.name + QStringLiteral(" (") +
                    sizeText(target.sizeBytes) + QStringLiteral("). ") +
                    QStringLiteral("Learned to regrow quickly; the app rebuilds it on demand.");
    action.risk = ActionRisk::reversible;
    action.perform = [this, target, clearing] {
        *clearing = clearTarget(target);
        return clearing->text;
    };
    if (m_c.gate.evaluate(action).kind() != GateDecision::Kind::allowWithUndo) return {};
    m_c.gate.record(action, action.perform(), false);
    return Preclear{clearing->cleared, clearing->bytesMoved};
}

ProactiveOptimizer::Clearing ProactiveOptimizer::clearTarget(const CleanupTarget& target)
{
    const DiskCleaner::Removal removal = m_c.cleaner.cleanTarget(target);
    Clearing c;
    // A folder whose entries all stayed put was not cleared, whatever the cleaner accepted.
    c.cleared = removal.accepted && removal.itemsMoved > 0;
    c.bytesMoved = c.cleared ? removal.bytesMoved : 0;
    c.text = c.cleared ? QStringLiteral("Cleared ") + target.name + QStringLiteral(" (~") + sizeText(target.sizeBytes) +
                             QStringLiteral(").")
                       : target.name + QStringLiteral(" could not be cleared.");
    return c;
}
