#pragma once

#include "actions/GateDecision.h"
#include "actions/TavrilonAction.h"
#include "assistant/AssistantServices.h"
#include "assistant/ChatMessage.h"

#include <QList>
#include <QMap>
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
    // The title of the slow action running on a worker, empty while none runs.
    const QString& runningAction() const { return m_runningAction; }
    const std::optional<TavrilonAction>& pendingAction() const { return m_pendingAction; }
    const std::optional<GateDecision>& pendingDecision() const { return m_pendingDecision; }
    bool showYoloSheet() const { return m_showYoloSheet; }
    void setShowYoloSheet(bool show);
    // The view's YOLO handler clears the parked pair before it raises the arming sheet.
    void clearPending();

    void send(const QString& text);
    void proceed();
    void cancelPending();
    // The body of the model question that send starts; the answer is appended when it arrives,
    // after the answers to questions asked before it.
    void askModel(const QString& line);
    // The line shown when an action is asked for while a slow one still runs.
    static QString stillWorkingText(const QString& title);
    // The fixed text followed by the live machine-state block.
    QString systemPrompt() const;

Q_SIGNALS:
    void messagesChanged();
    void isThinkingChanged(bool thinking);
    void runningActionChanged(const QString& title);
    void pendingChanged();
    void showYoloSheetChanged(bool show);

private:
    void append(ChatMessage::Role role, const QString& text, std::function<void()> undo = {},
                std::optional<QString> label = std::nullopt);
    void setThinking(bool thinking);
    void setPending(std::optional<TavrilonAction> action, std::optional<GateDecision> decision);
    // The message's undo for the action just recorded: runs at most once and marks its entry.
    std::function<void()> undoOnce(std::function<void()> undo);
    // Runs an allowed action: at once when it is quick, on a worker when it is slow. Either way
    // the ledger records it when the outcome is known, then the outcome line is appended.
    void run(TavrilonAction action, bool offerUndo);
    void finish(const TavrilonAction& action, const QString& outcome, bool offerUndo);
    void ask(const QString& line, quint64 sequence);
    void appendAnswer(quint64 sequence, ChatMessage::Role role, const QString& text, std::optional<QString> label);

    ActionGate& m_gate;
    ModelRouter& m_router;
    AssistantServices m_services;
    QList<ChatMessage> m_messages;
    bool m_isThinking = false;
    QString m_runningAction;
    // Model questions are answered in the order they were asked: an answer that comes early
    // waits for those before it.
    quint64 m_nextQuestion = 0;
    quint64 m_nextAnswer = 0;
    struct Answer {
        ChatMessage::Role role;
        QString text;
        std::optional<QString> label;
    };
    QMap<quint64, Answer> m_earlyAnswers;
    std::optional<TavrilonAction> m_pendingAction;
    std::optional<GateDecision> m_pendingDecision;
    bool m_showYoloSheet = false;
};
