#include "assistant/HUDMiniChat.h"

#include "actions/ActionGate.h"
#include "actions/EpitopeLibrary.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"
#include "actions/UserActionLog.h"
#include "assistant/IntentParser.h"
#include "assistant/LiveMachineContext.h"
#include "assistant/ModelRouter.h"
#include "assistant/TavrilonChatController.h"
#include "core/Executor.h"

#include <QPointer>

#include <algorithm>
#include <memory>

namespace {
bool allows(const GateDecision& d)
{
    return d.kind() == GateDecision::Kind::allowFree || d.kind() == GateDecision::Kind::allowWithUndo;
}
}  // namespace

HUDMiniChat::HUDMiniChat(Collaborators c, QObject* parent) : QObject(parent), m_c(std::move(c)) {}

QString HUDMiniChat::modelFailureText()
{
    return QStringLiteral("Couldn\u2019t reach a model for that one \u2014 the full Tavrilon chat has more room to work.");
}

QString HUDMiniChat::measuringText(const QString& title) { return title + QStringLiteral(" \u2014 measuring\u2026"); }

QString HUDMiniChat::gateNoticeText(const QString& title)
{
    return QStringLiteral("\u201C") + title + QStringLiteral("\u201D is irreversible \u2014 confirm it in the full Tavrilon chat.");
}

QString HUDMiniChat::notRunText(const QString& title)
{
    return QStringLiteral("\u201C") + title + QStringLiteral("\u201D was not run from the HUD \u2014 ask for it in the full Tavrilon chat.");
}

bool HUDMiniChat::canSend(const QString& draft)
{
    return std::any_of(draft.begin(), draft.end(), [](QChar c) { return c != QLatin1Char(' ') && c != QLatin1Char('\t'); });
}

QString HUDMiniChat::systemPrompt() const
{
    return TavrilonChatController::fixedSystemText() +
           buildLiveMachineContext(m_c.services.monitor, m_c.services.profiles, m_c.services.insights);
}

void HUDMiniChat::append(HUDChatLine line)
{
    m_transcript.append(std::move(line));
    Q_EMIT transcriptChanged();
}

bool HUDMiniChat::submit(const QString& draft)
{
    const QString text = draft.trimmed();
    if (text.isEmpty()) return false;
    append(HUDChatLine::user(text));

    ParseResult result = parseIntent(text, m_c.services);
    if (result.directReply) {
        append(HUDChatLine::reply(*result.directReply));
        return true;
    }
    if (!result.action) {
        append(HUDChatLine::reply(placeholderText()));
        askModel(text);
        return true;
    }
    const TavrilonAction action = std::move(*result.action);
    const GateDecision decision = m_c.gate.evaluate(action);
    switch (decision.kind()) {
    case GateDecision::Kind::warnFirst:
    case GateDecision::Kind::warnFinal:
    case GateDecision::Kind::blockedNeedsYolo:
        m_c.gate.noteWarning(action);
        append(HUDChatLine::gateNotice(gateNoticeText(action.title)));
        return true;
    case GateDecision::Kind::allowWithUndo:
        if (action.outcomeMetric) {
            append(HUDChatLine::reply(measuringText(action.title)));
            runMeasured(action);
            return true;
        }
        runNow(action);
        return true;
    case GateDecision::Kind::allowFree:
        runNow(action);
        return true;
    case GateDecision::Kind::allowYolo:
        // An irreversible action needs the full chat's confirmation, armed YOLO or not.
        append(HUDChatLine::reply(notRunText(action.title)));
        return true;
    }
    return true;
}

void HUDMiniChat::askModel(const QString& text)
{
    QPointer<HUDMiniChat> self(this);
    m_c.router.respond(text, systemPrompt(), false, [self](Result<ModelAnswer> answer) {
        if (!self) return;
        self->replacePlaceholder(answer ? answer->text : modelFailureText());
    });
}

void HUDMiniChat::replacePlaceholder(const QString& text)
{
    for (qsizetype i = m_transcript.size() - 1; i >= 0; --i) {
        if (!m_transcript[i].isUser && m_transcript[i].text == placeholderText()) {
            m_transcript[i] = HUDChatLine::reply(text);
            Q_EMIT transcriptChanged();
            return;
        }
    }
    append(HUDChatLine::reply(text));
}

void HUDMiniChat::runNow(const TavrilonAction& action)
{
    // The guarded rule: asked again right before it runs.
    const GateDecision decision = m_c.gate.evaluate(action);
    if (decision.isWarningOrBlock()) {
        m_c.gate.noteWarning(action);
        append(HUDChatLine::gateNotice(gateNoticeText(action.title)));
        return;
    }
    if (!allows(decision)) {
        append(HUDChatLine::reply(notRunText(action.title)));
        return;
    }
    if (!action.slow) {
        const QString outcome = action.perform ? action.perform() : QString();
        m_c.gate.record(action, outcome, false);
        logUserAction(m_c.services.monitor, m_c.gate, action);
        append(HUDChatLine::reply(outcome));
        return;
    }
    // The body walks or moves files: on the worker; the ledger and the line come back here.
    QPointer<HUDMiniChat> self(this);
    QPointer<ActionGate> gate(&m_c.gate);
    MonitorState* history = &m_c.services.monitor;
    m_c.worker.async([self, gate, history, action] {
        const QString outcome = action.perform ? action.perform() : QString();
        if (!gate) return;
        QMetaObject::invokeMethod(
            gate.data(),
            [self, gate, history, action, outcome] {
                gate->record(action, outcome, false);
                logUserAction(*history, *gate, action);
                if (self) self->append(HUDChatLine::reply(outcome));
            },
            Qt::QueuedConnection);
    });
}

void HUDMiniChat::runMeasured(const TavrilonAction& action)
{
    const QString epitopeID = action.epitopeID.value_or(action.title.toLower());
    if (!action.outcomeMetric || action.risk == ActionRisk::destructive) return;
    const OutcomeMetric metric = *action.outcomeMetric;

    // The id of the entry this run made, taken as it is recorded: another action recorded
    // during the settle delay must not receive this measurement.
    auto entryID = std::make_shared<std::optional<QUuid>>();
    QPointer<ActionGate> gate(&m_c.gate);
    ReversibleShell* shell = &m_c.shell;
    EpitopeLibrary* library = &m_c.library;
    const auto completion = [gate, shell, library, action, epitopeID, metric, entryID](const SampleResult& result) {
        // Nothing ran (the gate changed its mind): nothing to learn, attach or revert.
        if (!*entryID || !gate) return;
        const QUuid entry = **entryID;
        if (action.risk == ActionRisk::reversible) {
            shell->armPendingRevert([gate, entry, action] {
                // One undo per entry, whether it comes from here or from the full chat.
                if (gate) {
                    const QList<GateLedgerEntry>& ledger = gate->ledger();
                    const bool listed = std::any_of(ledger.begin(), ledger.end(),
                                                    [&](const GateLedgerEntry& e) { return e.id == entry; });
                    if (listed && !gate->markUndone(entry)) return;
                }
                ReversibleShell::revert(action);
            });
        }
        library->recordManualAction(epitopeID, action.title, metric, result);
        gate->attachMeasurement(entry, result);
    };

    MonitorState* history = &m_c.services.monitor;
    if (!action.slow) {
        m_c.harness.measureOutcomeSync(
            metric, epitopeID,
            [shell, gate, history, action, entryID] {
                *entryID = shell->runGuardedAction(action);
                if (*entryID && gate) logUserAction(*history, *gate, action);
            },
            completion);
        return;
    }
    Executor* worker = &m_c.worker;
    m_c.harness.measureOutcome(
        metric, epitopeID,
        [gate, worker, history, action, entryID](std::function<void()> done) {
            // The shell's guarded rule, with the body on the worker.
            const GateDecision decision = gate->evaluate(action);
            if (!allows(decision)) {
                if (decision.isWarningOrBlock()) gate->noteWarning(action);
                done();
                return;
            }
            worker->async([gate, history, action, entryID, done] {
                const QString outcome = action.perform ? action.perform() : QString();
                if (!gate) return done();
                QMetaObject::invokeMethod(
                    gate.data(),
                    [gate, history, action, entryID, outcome, done] {
                        gate->record(action, outcome, false);
                        logUserAction(*history, *gate, action);
                        *entryID = gate->lastEntryID();
                        done();
                    },
                    Qt::QueuedConnection);
            });
        },
        completion);
}
