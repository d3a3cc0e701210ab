#include "ui/shell/QuickOptimizer.h"

#include "actions/ActionGate.h"
#include "actions/MemoryReliefAction.h"
#include "actions/UserActionLog.h"
#include "assistant/IntentActions.h"
#include "core/Executor.h"
#include "core/MainThread.h"
#include "core/Scheduler.h"

#include <QPointer>

using namespace std::chrono_literals;

struct QuickOptimizer::Run {
    QList<TavrilonAction> actions;
    QStringList fallbacks;  // the text of an action that did not run
    QStringList texts;
    qsizetype next = 0;
};

QuickOptimizer::QuickOptimizer(Collaborators c, QObject* parent) : QObject(parent), m_c(std::move(c)) {}

TavrilonAction QuickOptimizer::cleanAction(std::function<QString()> perform)
{
    TavrilonAction a;
    a.title = QStringLiteral("Clean caches & junk");
    a.detail = QStringLiteral("Removes regenerable caches, logs, and trash. Apps rebuild these on demand.");
    a.risk = ActionRisk::reversible;
    a.perform = std::move(perform);
    a.epitopeID = QStringLiteral("clean-caches");
    a.outcomeMetric = OutcomeMetric::diskFreedGB;
    a.history = cacheCleanupHistory(a.title);
    return a;
}

TavrilonAction QuickOptimizer::reliefAction(std::function<QString()> perform)
{
    return MemoryReliefAction::makeAction(std::move(perform));
}

void QuickOptimizer::optimizeNow()
{
    // The button is disabled while busy.
    if (m_optimizing) return;
    m_optimizing = true;
    m_lastOutcome.reset();
    Q_EMIT changed();

    auto run = std::make_shared<Run>();
    run->actions = {cleanAction(m_c.cleanCaches), reliefAction(m_c.relieveMemory)};
    run->fallbacks = {QStringLiteral("No cache cleanup needed."), QString()};
    QPointer<QuickOptimizer> self(this);
    m_c.scheduler.after(50ms, this, [self, run] {
        if (self) self->step(run);
    });
}

void QuickOptimizer::step(std::shared_ptr<Run> run)
{
    if (run->next >= run->actions.size()) {
        finish(run);
        return;
    }
    const qsizetype index = run->next++;
    const TavrilonAction action = run->actions[index];
    const GateDecision decision = m_c.gate.evaluate(action);
    const bool allowed = decision.kind() == GateDecision::Kind::allowFree ||
                         decision.kind() == GateDecision::Kind::allowWithUndo;
    if (!allowed) {
        if (decision.isWarningOrBlock()) m_c.gate.noteWarning(action);
        run->texts << run->fallbacks[index];
        step(run);
        return;
    }

    // The cleanup walks folders and moves files: on a worker; the ledger entry and the history
    // row are made back on the main thread.
    QPointer<QuickOptimizer> self(this);
    ActionGate* gate = &m_c.gate;
    MonitorState* history = &m_c.history;
    m_c.worker.async([self, gate, history, action, run] {
        const QString text = action.perform();
        QMetaObject::invokeMethod(
            gate,
            [self, gate, history, action, run, text] {
                gate->record(action, text, false);
                logUserAction(*history, *gate, action);
                run->texts << text;
                if (self) self->step(run);
            },
            Qt::QueuedConnection);
    });
}

void QuickOptimizer::finish(const std::shared_ptr<Run>& run)
{
    QStringList shown;
    for (const QString& t : run->texts)
        if (!t.isEmpty()) shown << t;
    m_lastOutcome = shown.join(QStringLiteral(" \u00B7 "));
    m_optimizing = false;
    Q_EMIT changed();
}
