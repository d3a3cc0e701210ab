#pragma once

#include "actions/DiskCleaner.h"
#include "actions/TavrilonAction.h"
#include "core/Models.h"
#include "optimisation/OptimizerEvent.h"
#include "optimisation/ProactiveSweepService.h"
#include "optimisation/RegrowPattern.h"

#include <QMap>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class ActionGate;
class AppSettings;
class Clock;
class DiskCleaner;
class EpitopeLibrary;
class MonitorState;
class OutcomeHarness;

// Learns how fast each cleanup category's caches grow back and clears the fast regrowers again
// before they fill the disk. A sweep measures the folders off the main thread; everything else
// (learning, the gate, clearing, publishing, saving) happens on the main thread.
class ProactiveOptimizer final : public QObject, public ProactiveSweepService {
    Q_OBJECT
public:
    struct Collaborators {
        AppSettings& settings;
        DiskCleaner& cleaner;
        ActionGate& gate;
        EpitopeLibrary& epitopes;
        OutcomeHarness& harness;
        MonitorState& monitor;
        const Clock& clock;
    };

    static constexpr std::chrono::seconds sweepGap{1800};
    // Timers fire a little early or late; a sweep that is due give or take this still runs.
    static constexpr std::chrono::seconds sweepGapTolerance{5};
    static constexpr double candidateConfidence = 0.3;
    static constexpr std::chrono::seconds reclearGap{3600};
    static constexpr uint64_t minimumClearBytes = 52'428'800;
    static constexpr int eventLimit = 100;
    static inline const QString sweepEpitopeID = QStringLiteral("preclear:sweep");
    static inline const QString categoryEpitopePrefix = QStringLiteral("preclear:");
    static QString fileName() { return QStringLiteral("regrow_patterns.json"); }
    static QString initialSummary() { return QStringLiteral("No proactive sweep yet."); }

    // Loads `directory`/regrow_patterns.json (the AI folder by default); a missing or damaged
    // file gives no patterns.
    explicit ProactiveOptimizer(Collaborators collaborators, QString directory = QString(), QObject* parent = nullptr);

    static ProactiveOptimizer& shared();

    // Highest confidence first.
    const QList<RegrowPattern>& patterns() const { return m_patterns; }
    // Newest first, at most eventLimit.
    const QList<OptimizerEvent>& events() const { return m_events; }
    const QString& lastSweepSummary() const { return m_lastSweepSummary; }
    const std::optional<QDateTime>& lastAutonomousSweepAt() const { return m_lastAutonomousSweepAt; }

    // The scheduled entry: one measured sweep, unless automatic cleanup is off or the last one
    // started too recently.
    void runAutonomousSweep() override;
    // One full sweep; `done` gets the bytes freed, on the main thread, after everything is
    // published and saved.
    void sweep(bool automatic, std::function<void(uint64_t)> done = {});
    // Records the sizes a scan found, then publishes and saves.
    void observe(const QList<CleanupTarget>& targets);

    // The first pattern wins on a repeated category.
    QMap<QString, RegrowPattern> patternsByCategory() const;
    void publishPatterns(const QMap<QString, RegrowPattern>& byCategory);
    void savePatterns() const;
    static QString regrowReason(const RegrowPattern& pattern, uint64_t sizeBytes);

    // The outcome of pre-clearing one folder; `bytesMoved` is what really went to the Trash.
    struct Preclear {
        bool cleared = false;
        uint64_t bytesMoved = 0;
    };
    // Through the action gate; nothing runs or is recorded unless the gate allows it with undo.
    Preclear preclearTarget(const CleanupTarget& target);
    // The same, the way a sweep does it: the gate is asked here, the folder is emptied on the
    // cleaner's worker, and the ledger entry and `done` follow on the main thread.
    void preclearTargetInBackground(const CleanupTarget& target, std::function<void(Preclear)> done);

    QString filePath() const;

Q_SIGNALS:
    void patternsChanged();
    void eventsChanged();
    void lastSweepSummaryChanged();
    void lastAutonomousSweepAtChanged();

private:
    struct Clearing {
        bool cleared = false;
        uint64_t bytesMoved = 0;
        QString text;
    };
    Clearing clearTarget(const CleanupTarget& target);
    static Clearing clearing(const CleanupTarget& target, const DiskCleaner::Removal& removal);
    TavrilonAction preclearAction(const CleanupTarget& target, std::function<QString()> perform) const;
    struct Sweep;
    void finishSweep(bool automatic, const QList<CleanupTarget>& targets, std::function<void(uint64_t)> done);
    void nextCandidate(std::shared_ptr<Sweep> sweep);
    void nextTarget(std::shared_ptr<Sweep> sweep);
    void endSweep(std::shared_ptr<Sweep> sweep);
    void loadPatterns();
    void setSummary(const QString& summary);

    Collaborators m_c;
    QString m_directory;
    QList<RegrowPattern> m_patterns;
    QList<OptimizerEvent> m_events;
    QString m_lastSweepSummary = initialSummary();
    std::optional<QDateTime> m_lastAutonomousSweepAt;
};
