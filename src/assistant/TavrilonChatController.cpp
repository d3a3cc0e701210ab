#include "assistant/TavrilonChatController.h"

#include "actions/ActionGate.h"
#include "assistant/IntentParser.h"
#include "assistant/LiveMachineContext.h"
#include "assistant/ModelRouter.h"
#include "core/MainThread.h"

#include <QPointer>

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
        setThinking(true);
        QPointer<TavrilonChatController> self(this);
        postTo(this, [self, line] {
            if (self) self->askModel(line);
        });
        return;
    }
    TavrilonAction action = std::move(*result.action);
    if (!result.understood.isEmpty()) append(ChatMessage::Role::tavrilon, result.understood);
    const GateDecision decision = m_gate.evaluate(action);
    switch (decision.kind()) {
    case GateDecision::Kind::allowFree:
    case GateDecision::Kind::allowWithUndo: {
        const QString outcome = action.perform();
        m_gate.record(action, outcome, false);
        std::function<void()> undo;
        if (action.risk == ActionRisk::reversible && action.undo) undo = undoOnce(action.undo);
        append(ChatMessage::Role::tavrilon, outcome, std::move(undo));
        return;
    }
    case GateDecision::Kind::warnFirst:
    case GateDecision::Kind::warnFinal:
    case GateDecision::Kind::blockedNeedsYolo:
    case GateDecision::Kind::allowYolo:
        // Even under armed YOLO a destructive action waits for the user's confirmation.
        setPending(std::move(action), decision);
        return;
    }
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
    QString reply;
    if (decision.isWarningOrBlock()) {
        m_gate.noteWarning(action);
        reply = QStringLiteral("Refused.");
    } else {
        reply = action.perform();
        m_gate.record(action, reply, false);
    }
    append(ChatMessage::Role::tavrilon, reply);
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
    QPointer<TavrilonChatController> self(this);
    m_router.respond(line, systemPrompt(), false, [self](Result<ModelAnswer> answer) {
        if (!self) return;
        if (answer) {
            self->append(ChatMessage::Role::tavrilon, answer->text, {}, answer->backend.label());
        } else {
            self->append(ChatMessage::Role::system, answer.error());
        }
        self->setThinking(false);
    });
}
