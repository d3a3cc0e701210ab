#include "ui/shell/QuickOptimizer.h"

#include "actions/ActionGate.h"
#include "actions/MemoryReliefAction.h"
#include "actions/OutcomeHarness.h"
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
    return a;
}

TavrilonAction QuickOptimizer::reliefAction(std::function<QString()> perform)
{
    return MemoryReliefAction::makeAction(std::move(perform));
}

void QuickOptimizer::optimizeNow()
{
    // The button is disabled while busy; a second run would measure across the first.
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

    QPointer<QuickOptimizer> self(this);
    auto entryID = std::make_shared<std::optional<QUuid>>();
    Executor* worker = &m_c.worker;
    ActionGate* gate = &m_c.gate;
    if (!m_c.measured) {
        worker->async([self, gate, action, run] {
            const QString text = action.perform();
            QMetaObject::invokeMethod(
                gate,
                [self, gate, action, run, text] {
                    gate->record(action, text, false);
                    run->texts << text;
                    if (self) self->step(run);
                },
                Qt::QueuedConnection);
        });
        return;
    }
    m_c.harness.measureOutcome(
        *action.outcomeMetric, *action.epitopeID,
        // The body walks folders and moves files: it runs on a worker, and the ledger entry is
        // made back on the main thread as soon as it is done, so the measurement lands in it.
        [self, worker, gate, action, run, entryID](std::function<void()> done) {
            worker->async([self, gate, action, run, entryID, done] {
                const QString text = action.perform();
                QMetaObject::invokeMethod(
                    gate,
                    [gate, action, run, entryID, text, done] {
                        gate->record(action, text, false);
                        *entryID = gate->lastEntryID();
                        run->texts << text;
                        done();
                    },
                    Qt::QueuedConnection);
            });
        },
        [self, gate, run, entryID](const SampleResult& result) {
            if (*entryID) gate->attachMeasurement(**entryID, result);
            if (self) self->step(run);
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
