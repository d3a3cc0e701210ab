#pragma once

#include "assistant/ModelBackend.h"
#include "core/Result.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class AppSettings;
class ModelBackendClient;

struct ModelAnswer {
    QString text;  // unchanged, not trimmed
    ModelBackend backend;
};

// Answers one free-form question with the first usable backend, falling back on failures and
// on short refusals. Keeps no conversation; what outlives a call is the answering backend
// (published) and the gate's two "tavrilon.activeModel*" flags, both only on success.
// Main thread. The on-device model of the original platform does not exist on Linux, so it
// is never a candidate.
class ModelRouter : public QObject {
    Q_OBJECT
public:
    using AnswerCallback = std::function<void(Result<ModelAnswer>)>;
    // Stores the answering backend's label and frontier flag for the action gate.
    using ActiveModelRecorder = std::function<void(const QString& label, bool isFrontier)>;

    ModelRouter(AppSettings& settings, ModelBackendClient& backends, ActiveModelRecorder recordActiveModel,
                QObject* parent = nullptr);

    static ModelRouter& shared();

    // `system` absent means no system message at all. `done` runs once, possibly before
    // respond returns (when no backend is contacted).
    void respond(const QString& prompt, const std::optional<QString>& system, bool requireFrontier,
                 AnswerCallback done);

    QList<ModelBackend> candidates(bool requireFrontier) const;
    static void appendCandidate(const ModelBackend& backend, QList<ModelBackend>& list);
    static bool looksLikeRefusal(const QString& answer);

    ModelBackend activeBackend() const { return m_activeBackend; }

    static QString nothingEnabledText();
    static QString frontierNeedsKeyText();
    static QString declinedText();

Q_SIGNALS:
    void activeBackendChanged();

private:
    struct Walk;
    void step(std::shared_ptr<Walk> walk);
    void dispatch(const ModelBackend& backend, const QString& prompt, const std::optional<QString>& system,
                  std::function<void(Result<QString>)> done);
    bool ownKeyUsable() const;

    AppSettings& m_settings;
    ModelBackendClient& m_backends;
    ActiveModelRecorder m_recordActiveModel;
    ModelBackend m_activeBackend = ModelBackend::none();
};
