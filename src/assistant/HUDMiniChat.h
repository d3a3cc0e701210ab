#pragma once

#include "actions/TavrilonAction.h"
#include "assistant/AssistantServices.h"
#include "assistant/HUDChatLine.h"

#include <QList>
#include <QObject>

class ActionGate;
class EpitopeLibrary;
class Executor;
class ModelRouter;
class OutcomeHarness;
class ReversibleShell;

// The desktop HUD's one-line chat: a typed line becomes a direct reply, an action the gate lets
// run (measured before and after when it is reversible and names a metric), a notice that
// sends a warned or blocked action to the full chat, or a question to the model router. The
// transcript lives as long as the HUD. Main thread.
class HUDMiniChat : public QObject {
    Q_OBJECT
public:
    struct Collaborators {
        ActionGate& gate;
        ModelRouter& router;
        AssistantServices services;
        ReversibleShell& shell;
        OutcomeHarness& harness;
        EpitopeLibrary& library;
        // Runs the bodies of slow actions (cleanups) off the main thread.
        Executor& worker;
    };

    explicit HUDMiniChat(Collaborators c, QObject* parent = nullptr);

    // Every line of this HUD's life, oldest first.
    const QList<HUDChatLine>& transcript() const { return m_transcript; }

    // Handles a submitted draft. False when it holds only blanks and line breaks: nothing
    // happens and the draft stays; true when the line was taken (the field is cleared).
    bool submit(const QString& draft);
    // The send button's state: the draft has something besides spaces and tabs.
    static bool canSend(const QString& draft);

    // The fixed instructions followed by the live machine-state block, read now.
    QString systemPrompt() const;

    static QString placeholderText() { return QStringLiteral("\u2026"); }
    static QString modelFailureText();
    static QString measuringText(const QString& title);
    static QString gateNoticeText(const QString& title);
    static QString notRunText(const QString& title);

Q_SIGNALS:
    void transcriptChanged();

private:
    void append(HUDChatLine line);
    void askModel(const QString& text);
    void replacePlaceholder(const QString& text);
    void runNow(const TavrilonAction& action);
    void runMeasured(const TavrilonAction& action);

    Collaborators m_c;
    QList<HUDChatLine> m_transcript;
};
