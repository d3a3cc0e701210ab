#pragma once

#include "guards/SnoozeTypes.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <optional>

class AppSettings;

// The blackout's remote coach: sends what the user typed, with the reason of the blackout, as
// one JSON-RPC "tools/call" to the remote-control server's "/mcp" endpoint and turns the answer
// into a verdict. Every failure is a fixed verdict that keeps the user resting. Nothing leaves
// the computer while the remote-control integration is off, or to an address that is neither
// https nor this computer. Lives on the main thread; the network runs on Qt's own.
class SnoozeBlackoutAI final : public QObject, public BlackoutVerdictSource {
    Q_OBJECT
public:
    struct Collaborators {
        AppSettings& settings;
        // Fixed when built: the remote-control server's default address, never its setting.
        QUrl endpoint = defaultEndpoint();
        std::chrono::milliseconds timeout{12000};
    };

    static QUrl defaultEndpoint();
    static const BlackoutVerdict& emptyTextVerdict();
    static const BlackoutVerdict& offlineVerdict();
    static const QString& systemPrompt();

    explicit SnoozeBlackoutAI(Collaborators c, QObject* parent = nullptr);

    // Exactly one completion per question: at once for an empty text, an integration that is
    // off or a refused address; otherwise when the answer, an error or the time-out arrives.
    void ask(const QString& text, const QString& reason, Completion completion) override;

    // The JSON-RPC request for one question (text already trimmed).
    static QJsonObject requestObject(const QString& text, const QString& reason, int id);

    static BlackoutVerdict parseReply(const QByteArray& body);
    static QString stripCodeFences(const QString& text);
    static std::optional<QByteArray> extractJSONObject(const QString& text);
    static BlackoutVerdict verdictFromReply(const QJsonObject& object);

private:
    Collaborators m_c;
};
