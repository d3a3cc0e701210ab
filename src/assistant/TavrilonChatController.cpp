#include "assistant/TavrilonChatController.h"

#include "actions/UserActionLog.h"

#include "actions/ActionGate.h"
#include "assistant/IntentParser.h"
#include "assistant/LiveMachineContext.h"
#include "assistant/ModelRouter.h"
#include "core/MainThread.h"

#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <memory>

TavrilonChatController::TavrilonChatController(ActionGate& gate, ModelRouter& router, AssistantServices services,
                                               QObject* parent)
    : QObject(parent), m_gate(gate), m_router(router), m_services(services)
{
    ChatMessage welcome;
    welcome.role = ChatMessage::Role::system;
    welcome.text = welcomeText();
    m_messages.append(std::move(welcome));
}

QString TavrilonChatController::welcomeText()
{
    return QStringLiteral("Tavrilon online. Ask me to free space, optimize for a session, or tell you what's hot.");
}

QString TavrilonChatController::fixedSystemText()
{
    return QStringLiteral(
        "You are the Tavrilon, the assistant built into Veltranmoor \u2014 a Linux performance app by Corvanne, "
        "running on the user's own computer.\n"
        "\n"
        "The user OWNS this computer and has explicitly asked you to look at it. Reporting on its performance, "
        "storage, memory, battery, thermals and running processes is the entire purpose of this app and is exactly "
        "what the user wants. Never refuse to discuss the machine, and never say you cannot access information about "
        "the device \u2014 the live measurements are given to you below.\n"
        "\n"
        "Answer from the DATA BELOW. Be specific: name the actual process, quote the actual number. If the data does "
        "not cover something, say what you do not have rather than refusing outright.\n"
        "\n"
        "Style: direct and brief \u2014 two or three sentences unless asked for more. Plain text only; no markdown, no "
        "asterisks, no bullet characters, since the reply is shown in a plain chat bubble.\n"
        "\n"
        "When the user asks you to CHANGE something (free space, throttle a process, switch profile), Veltranmoor "
        "performs it through its own safety gate \u2014 describe precisely what will happen and let the gate carry it "
        "out. Never claim you have already done something you have not.\n"
        "\n");
}

QString TavrilonChatController::systemPrompt() const
{
    return fixedSystemText() + buildLiveMachineContext(m_services.monitor, m_services.profiles, m_services.insights);
}

void TavrilonChatController::append(ChatMessage::Role role, const QString& text, std::function<void()> undo,
                                    std::optional<QString> label)
{
    ChatMessage message;
    message.role = role;
    message.text = text;
    message.undo = std::move(undo);
    message.backendLabel = std::move(label);
    m_messages.append(std::move(message));
    Q_EMIT messagesChanged();
}

void TavrilonChatController::setThinking(bool thinking)
{
    if (m_isThinking == thinking) return;
    m_isThinking = thinking;
    Q_EMIT isThinkingChanged(thinking);
}

void TavrilonChatController::setPending(std::optional<TavrilonAction> action, std::optional<GateDecision> decision)
{
    m_pendingAction = std::move(action);
    m_pendingDecision = std::move(decision);
    Q_EMIT pendingChanged();
}

void TavrilonChatController::setShowYoloSheet(bool show)
{
    if (m_showYoloSheet == show) return;
    m_showYoloSheet = show;
    Q_EMIT showYoloSheetChanged(show);
}

void TavrilonChatController::clearPending() { setPending(std::nullopt, std::nullopt); }

void TavrilonChatController::send(const QString& text)
{
    const QString line = text.trimmed();
    if (line.isEmpty()) return;
    append(ChatMessage::Role::user, line);

    ParseResult result = parseIntent(line, m_services);
    if (result.directReply) {
        append(ChatMessage::Role::tavrilon, *result.directReply, {}, QStringLiteral("on-device"));
        return;
    }
    if (!result.action) {
        const quint64 sequence = m_nextQuestion++;
        setThinking(true);
        QPointer<TavrilonChatController> self(this);
        postTo(this, [self, line, sequence] {
            if (self) self->ask(line, sequence);
        });
        return;
    }
    TavrilonAction action = std::move(*result.action);
    // One action at a time: the request is answered, not dropped, and not acknowledged as if
    // it were going to run.
    if (!m_runningAction.isEmpty()) {
        append(ChatMessage::Role::tavrilon, stillWorkingText(m_runningAction));
        return;
    }
    if (!result.understood.isEmpty()) append(ChatMessage::Role::tavrilon, result.understood);
    const GateDecision decision = m_gate.evaluate(action);
    switch (decision.kind()) {
    case GateDecision::Kind::allowFree:
    case GateDecision::Kind::allowWithUndo:
        run(std::move(action), true);
        return;
    case GateDecision::Kind::warnFirst:
    case GateDecision::Kind::warnFinal:
    case GateDecision::Kind::blockedNeedsYolo:
    case GateDecision::Kind::allowYolo:
        // Even under armed YOLO a destructive action waits for the user's confirmation.
        setPending(std::move(action), decision);
        return;
    }
}

QString TavrilonChatController::stillWorkingText(const QString& title)
{
    return QStringLiteral("Still working on \u201C") + title +
           QStringLiteral("\u201D. Ask again when it has finished.");
}

void TavrilonChatController::run(TavrilonAction action, bool offerUndo)
{
    if (!m_runningAction.isEmpty()) {
        append(ChatMessage::Role::tavrilon, stillWorkingText(m_runningAction));
        return;
    }
    if (!action.slow) {
        const QString outcome = action.perform();
        finish(action, outcome, offerUndo);
        return;
    }
    m_runningAction = action.title;
    Q_EMIT runningActionChanged(m_runningAction);
    // The outcome comes back through the gate, which outlives the chat: if the chat is gone by
    // then, the ledger still records what was done.
    QPointer<TavrilonChatController> self(this);
    QPointer<ActionGate> gate(&m_gate);
    QThreadPool::globalInstance()->start([self, gate, action, offerUndo] {
        const QString outcome = action.perform();
        if (!gate) return;
        QMetaObject::invokeMethod(
            gate.data(),
            [self, gate, action, outcome, offerUndo] {
                if (self) {
                    self->finish(action, outcome, offerUndo);
                } else if (gate) {
                    gate->record(action, outcome, false);
                }
            },
            Qt::QueuedConnection);
    });
}

void TavrilonChatController::finish(const TavrilonAction& action, const QString& outcome, bool offerUndo)
{
    m_gate.record(action, outcome, false);
    logUserAction(m_services.monitor, m_gate, action);
    std::function<void()> undo;
    if (offerUndo && action.risk == ActionRisk::reversible && action.undo) undo = undoOnce(action.undo);
    if (action.slow) {
        m_runningAction.clear();
        Q_EMIT runningActionChanged(m_runningAction);
    }
    append(ChatMessage::Role::tavrilon, outcome, std::move(undo));
}

std::function<void()> TavrilonChatController::undoOnce(std::function<void()> undo)
{
    // A second press would re-apply an older state over whatever the user did since, so the
    // undo runs once, and its ledger entry says so.
    const std::optional<QUuid> entryID = m_gate.lastEntryID();
    QPointer<ActionGate> gate(&m_gate);
    auto ran = std::make_shared<bool>(false);
    return [gate, entryID, ran, undo = std::move(undo)] {
        if (*ran) return;
        *ran = true;
        if (gate && entryID) {
            const QList<GateLedgerEntry>& ledger = gate->ledger();
            const auto it = std::find_if(ledger.begin(), ledger.end(),
                                         [&](const GateLedgerEntry& e) { return e.id == *entryID; });
            if (it != ledger.end() && !gate->markUndone(*entryID)) return;  // undone elsewhere
        }
        undo();
    };
}

void TavrilonChatController::proceed()
{
    if (!m_pendingAction) return;
    const TavrilonAction action = *m_pendingAction;
    // Asked afresh: YOLO may no longer apply since the action was parked.
    const GateDecision decision = m_gate.evaluate(action);
    if (decision.isWarningOrBlock()) {
        m_gate.noteWarning(action);
        append(ChatMessage::Role::tavrilon, QStringLiteral("Refused."));
    } else {
        // Run from the sheet, the result line carries no undo, also for a reversible action.
        run(action, false);
    }
    clearPending();
}

void TavrilonChatController::cancelPending()
{
    if (m_pendingAction) m_gate.noteWarning(*m_pendingAction);
    append(ChatMessage::Role::tavrilon, QStringLiteral("Cancelled. Nothing was changed."));
    clearPending();
}

void TavrilonChatController::askModel(const QString& line)
{
    const quint64 sequence = m_nextQuestion++;
    setThinking(true);
    ask(line, sequence);
}

void TavrilonChatController::ask(const QString& line, quint64 sequence)
{
    QPointer<TavrilonChatController> self(this);
    m_router.respond(line, systemPrompt(), false, [self, sequence](Result<ModelAnswer> answer) {
        if (!self) return;
        if (answer) {
            self->appendAnswer(sequence, ChatMessage::Role::tavrilon, answer->text, answer->backend.label());
        } else {
            self->appendAnswer(sequence, ChatMessage::Role::system, answer.error(), std::nullopt);
        }
    });
}

void TavrilonChatController::appendAnswer(quint64 sequence, ChatMessage::Role role, const QString& text,
                                          std::optional<QString> label)
{
    m_earlyAnswers.insert(sequence, Answer{role, text, std::move(label)});
    while (!m_earlyAnswers.isEmpty() && m_earlyAnswers.firstKey() == m_nextAnswer) {
        Answer next = m_earlyAnswers.take(m_nextAnswer++);
        append(next.role, next.text, {}, std::move(next.label));
    }
    // The thinking line stays while any question is still unanswered.
    setThinking(m_nextAnswer != m_nextQuestion);
}
