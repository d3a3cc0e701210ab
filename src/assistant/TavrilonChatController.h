#pragma once

#include "actions/GateDecision.h"
#include "actions/TavrilonAction.h"
#include "assistant/AssistantServices.h"
#include "assistant/ChatMessage.h"

#include <QList>
#include <QObject>

#include <optional>

class ActionGate;
class ModelRouter;

// The dashboard chat's logic: each typed line becomes a direct answer, an action the gate
// runs at once, an action parked for the warning sheet, or a question to the model router.
// The conversation lives only as long as the controller. Main thread.
class TavrilonChatController : public QObject {
    Q_OBJECT
public:
    TavrilonChatController(ActionGate& gate, ModelRouter& router, AssistantServices services,
                           QObject* parent = nullptr);

    static QString welcomeText();
    static QString fixedSystemText();

    const QList<ChatMessage>& messages() const { return m_messages; }
    bool isThinking() const { return m_isThinking; }
    const std::optional<TavrilonAction>& pendingAction() const { return m_pendingAction; }
    const std::optional<GateDecision>& pendingDecision() const { return m_pendingDecision; }
    bool showYoloSheet() const { return m_showYoloSheet; }
    void setShowYoloSheet(bool show);
    // The view's YOLO handler clears the parked pair before it raises the arming sheet.
    void clearPending();

    void send(const QString& text);
    void proceed();
    void cancelPending();
    // The body of the model question that send starts; the answer is appended when it arrives.
    void askModel(const QString& line);
    // The fixed text followed by the live machine-state block.
    QString systemPrompt() const;

Q_SIGNALS:
    void messagesChanged();
    void isThinkingChanged(bool thinking);
    void pendingChanged();
    void showYoloSheetChanged(bool show);

private:
    void append(ChatMessage::Role role, const QString& text, std::function<void()> undo = {},
                std::optional<QString> label = std::nullopt);
    void setThinking(bool thinking);
    void setPending(std::optional<TavrilonAction> action, std::optional<GateDecision> decision);
    // The message's undo for the action just recorded: runs at most once and marks its entry.
    std::function<void()> undoOnce(std::function<void()> undo);

    ActionGate& m_gate;
    ModelRouter& m_router;
    AssistantServices m_services;
    QList<ChatMessage> m_messages;
    bool m_isThinking = false;
    std::optional<TavrilonAction> m_pendingAction;
    std::optional<GateDecision> m_pendingDecision;
    bool m_showYoloSheet = false;
};
