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
#include "core/WriteFailureReporter.h"
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
    const QJsonDocument patterns(RegrowPattern::toJsonArray(m_patterns));
    WriteFailureReporter::check(filePath(), Json::writeViaTmpSibling(filePath(), patterns));
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

// One sweep's progress while its folders are emptied one after the other on the cleaner's
// worker; every step between two folders runs on the main thread.
struct ProactiveOptimizer::Sweep {
    bool automatic = false;
    std::function<void(uint64_t)> done;
    QMap<QString, QList<CleanupTarget>> groups;
    QMap<QString, RegrowPattern> map;
    QDateTime now;
    QList<RegrowPattern> candidates;
    qsizetype candidate = -1;
    uint64_t total = 0;
    QStringList clearedNames;
    bool eventsAdded = false;
    // The candidate being cleared.
    RegrowPattern pattern;
    QString why;
    QList<CleanupTarget> targets;
    qsizetype target = 0;
    uint64_t freed = 0;
};

void ProactiveOptimizer::sweep(bool automatic, std::function<void(uint64_t)> done)
{
    QPointer<ProactiveOptimizer> self(this);
    // Walking the cache folders can take seconds; the rest comes back to the main thread.
    m_c.cleaner.scanInBackground([self, automatic, done = std::move(done)](QList<CleanupTarget> targets) {
        if (!self) {
            if (done) done(0);
            return;
        }
        self->finishSweep(automatic, targets, done);
    });
}

void ProactiveOptimizer::finishSweep(bool automatic, const QList<CleanupTarget>& targets,
                                     std::function<void(uint64_t)> done)
{
    observe(targets);

    auto sweep = std::make_shared<Sweep>();
    sweep->automatic = automatic;
    sweep->done = std::move(done);
    for (const CleanupTarget& t : targets) sweep->groups[CleanupTarget::rawValue(t.category)].append(t);
    sweep->map = patternsByCategory();
    sweep->now = m_c.clock.now();

    for (const RegrowPattern& p : m_patterns) {
        if (p.confidence() < candidateConfidence) continue;
        const std::optional<Epitope> record = m_c.epitopes.epitope(categoryEpitopePrefix + p.category);
        if (record && record->state == EpitopeState::retired) continue;
        sweep->candidates.append(p);
    }
    sortByConfidence(sweep->candidates);
    nextCandidate(sweep);
}

void ProactiveOptimizer::nextCandidate(std::shared_ptr<Sweep> sweep)
{
    while (++sweep->candidate < sweep->candidates.size()) {
        const RegrowPattern& candidate = sweep->candidates[sweep->candidate];
        auto found = sweep->map.constFind(candidate.category);
        if (found == sweep->map.constEnd()) continue;
        RegrowPattern pattern = *found;
        if (pattern.lastClearedAt &&
            Dates::secondsBetween(*pattern.lastClearedAt, sweep->now) < double(reclearGap.count())) {
            continue;
        }
        const auto group = sweep->groups.constFind(candidate.category);
        if (group == sweep->groups.constEnd()) continue;
        uint64_t size = 0;
        for (const CleanupTarget& t : *group) size += t.sizeBytes;
        if (size < minimumClearBytes) continue;

        if (pattern.lastClearedAt) {
            const double hours = Dates::secondsBetween(*pattern.lastClearedAt, sweep->now) / 3600.0;
            if (hours > 0.01) pattern.addRegrowRateSample(double(size) / hours);
        }
        sweep->pattern = pattern;
        sweep->why = regrowReason(candidate, size);
        sweep->targets = *group;
        sweep->target = 0;
        sweep->freed = 0;
        nextTarget(sweep);
        return;
    }
    endSweep(sweep);
}

void ProactiveOptimizer::nextTarget(std::shared_ptr<Sweep> sweep)
{
    if (sweep->target < sweep->targets.size()) {
        const CleanupTarget target = sweep->targets[sweep->target++];
        QPointer<ProactiveOptimizer> self(this);
        preclearTargetInBackground(target, [self, sweep](Preclear result) {
            if (result.cleared) sweep->freed += result.bytesMoved;
            if (self) {
                self->nextTarget(sweep);
            } else if (sweep->done) {
                sweep->done(sweep->total);
            }
        });
        return;
    }
    // The candidate's folders are done.
    if (sweep->freed > 0) {  // otherwise the copy with the new sample is dropped
        const RegrowPattern& candidate = sweep->candidates[sweep->candidate];
        RegrowPattern pattern = sweep->pattern;
        pattern.cleanCount += 1;
        pattern.totalReclaimedBytes += sweep->freed;
        pattern.lastClearedAt = sweep->now;
        pattern.lastSizeBytes = 0;
        pattern.lastObservedAt = sweep->now;
        sweep->map.insert(pattern.category, pattern);
        sweep->total += sweep->freed;
        sweep->clearedNames << candidate.displayName;

        OptimizerEvent event;
        event.timestamp = sweep->now;
        event.categoryName = candidate.displayName;
        event.reclaimedBytes = sweep->freed;
        event.why = sweep->why;
        event.automatic = sweep->automatic;
        m_events.prepend(event);
        sweep->eventsAdded = true;
    }
    nextCandidate(sweep);
}

void ProactiveOptimizer::endSweep(std::shared_ptr<Sweep> sweep)
{
    if (m_events.size() > eventLimit) m_events.resize(eventLimit);
    if (sweep->eventsAdded) Q_EMIT eventsChanged();

    publishPatterns(sweep->map);
    savePatterns();

    const uint64_t total = sweep->total;
    if (total == 0 && sweep->candidates.isEmpty()) {
        setSummary(QStringLiteral("Swept: no proven regrow offenders yet — still learning."));
    } else if (total == 0) {
        setSummary(QStringLiteral("Swept: offenders known, but none were large enough to clear right now."));
    } else {
        setSummary(QStringLiteral("Pre-cleared %1 — freed %2 GB from fast-regrowing caches.")
                       .arg(sweep->clearedNames.join(QStringLiteral(", ")),
                            cformat("%.2f", double(total) / 1073741824.0)));
        const ActionRecord record = ActionRecord::make(ActionType::cacheCleared, QStringLiteral("Proactive Optimizer"),
                                                       m_lastSweepSummary, sweep->now, sweep->automatic);
        MonitorState* monitor = &m_c.monitor;
        postTo(this, [monitor, record] { monitor->logAction(record); });
    }
    if (sweep->done) sweep->done(total);
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

TavrilonAction ProactiveOptimizer::preclearAction(const CleanupTarget& target, std::function<QString()> perform) const
{
    TavrilonAction action;
    action.title = QStringLiteral("Pre-clear ") + target.name;
    action.detail = QStringLiteral("Removes the regenerable ") + target.name + QStringLiteral(" (") +
                    sizeText(target.sizeBytes) + QStringLiteral("). ") +
                    QStringLiteral("Learned to regrow quickly; the app rebuilds it on demand.");
    action.risk = ActionRisk::reversible;
    action.perform = std::move(perform);
    return action;
}

ProactiveOptimizer::Preclear ProactiveOptimizer::preclearTarget(const CleanupTarget& target)
{
    auto result = std::make_shared<Clearing>();
    const TavrilonAction action = preclearAction(target, [this, target, result] {
        *result = clearTarget(target);
        return result->text;
    });
    if (m_c.gate.evaluate(action).kind() != GateDecision::Kind::allowWithUndo) return {};
    m_c.gate.record(action, action.perform(), false);
    return Preclear{result->cleared, result->bytesMoved};
}

void ProactiveOptimizer::preclearTargetInBackground(const CleanupTarget& target, std::function<void(Preclear)> done)
{
    // The action's own operation is the synchronous one; here the gate is asked for it, and the
    // same emptying runs on the cleaner's worker instead.
    const TavrilonAction action = preclearAction(target, [this, target] { return clearTarget(target).text; });
    if (m_c.gate.evaluate(action).kind() != GateDecision::Kind::allowWithUndo) {
        done({});
        return;
    }
    QPointer<ActionGate> gate(&m_c.gate);
    m_c.cleaner.cleanTargetInBackground(target, [gate, action, target, done](DiskCleaner::Removal removal) {
        const Clearing c = clearing(target, removal);
        if (gate) gate->record(action, c.text, false);
        done(Preclear{c.cleared, c.bytesMoved});
    });
}

ProactiveOptimizer::Clearing ProactiveOptimizer::clearTarget(const CleanupTarget& target)
{
    return clearing(target, m_c.cleaner.cleanTarget(target));
}

ProactiveOptimizer::Clearing ProactiveOptimizer::clearing(const CleanupTarget& target, const DiskCleaner::Removal& removal)
{
    Clearing c;
    // A folder whose entries all stayed put was not cleared, whatever the cleaner accepted.
    c.cleared = removal.accepted && removal.itemsMoved > 0;
    c.bytesMoved = c.cleared ? removal.bytesMoved : 0;
    c.text = c.cleared ? QStringLiteral("Cleared ") + target.name + QStringLiteral(" (~") + sizeText(target.sizeBytes) +
                             QStringLiteral(").")
                       : target.name + QStringLiteral(" could not be cleared.");
    return c;
}
