#pragma once

#include "actions/TavrilonAction.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class ActionGate;
class Executor;
class MonitorState;
class Scheduler;

// The one-click "Optimize Now" of the popover and of the HUD: a cache clean and a memory relief,
// each asked of the action gate, run off the main thread when allowed, recorded in the ledger
// and, when it changed something, logged in the action history. Neither is measured.
class QuickOptimizer : public QObject {
    Q_OBJECT
public:
    struct Collaborators {
        ActionGate& gate;
        // Where the runs are logged for History.
        MonitorState& history;
        Scheduler& scheduler;
        Executor& worker;
        std::function<QString()> cleanCaches;    // performCacheCleanup
        std::function<QString()> relieveMemory;  // performMemoryRelief
    };

    explicit QuickOptimizer(Collaborators c, QObject* parent = nullptr);

    bool optimizing() const { return m_optimizing; }
    // The joined result texts of the last run; none before the first and while one runs.
    const std::optional<QString>& lastOutcome() const { return m_lastOutcome; }

    // The two actions of one press, built anew each time.
    static TavrilonAction cleanAction(std::function<QString()> perform);
    static TavrilonAction reliefAction(std::function<QString()> perform);

    // Starts a run 0.05 s from now; a press while one runs is ignored.
    void optimizeNow();

Q_SIGNALS:
    void changed();

private:
    struct Run;
    void step(std::shared_ptr<Run> run);
    void finish(const std::shared_ptr<Run>& run);

    Collaborators m_c;
    bool m_optimizing = false;
    std::optional<QString> m_lastOutcome;
};
