#include "assistant/ModelRouter.h"

#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouterError.h"
#include "core/AppSettings.h"

#include <QPointer>

#include <array>

struct ModelRouter::Walk {
    QString prompt;
    std::optional<QString> system;
    QList<ModelBackend> list;
    qsizetype next = 0;
    bool declined = false;
    bool disclosureMissing = false;  // an own-key candidate was passed over for it
    std::optional<QString> lastError;
    AnswerCallback done;
};

ModelRouter::ModelRouter(AppSettings& settings, ModelBackendClient& backends, ActiveModelRecorder recordActiveModel,
                         QObject* parent)
    : QObject(parent), m_settings(settings), m_backends(backends), m_recordActiveModel(std::move(recordActiveModel))
{
}

QString ModelRouter::nothingEnabledText() { return QStringLiteral("Enable local Ollama, or your own API key."); }

QString ModelRouter::frontierNeedsKeyText()
{
    return QStringLiteral("Arm YOLO needs your own Opus-class API key (Settings \u2192 AI \u2192 bring your own key).");
}

QString ModelRouter::declinedText()
{
    return QStringLiteral("The model declined that one. Try rephrasing, or add your own API key (Settings \u2192 AI) "
                          "or local Ollama for full answers.");
}

bool ModelRouter::ownKeyUsable() const
{
    // A key of blanks counts as present: nothing is trimmed.
    return m_settings.byoKeyEnabled() && !m_settings.byoKeyValue().isEmpty();
}

void ModelRouter::appendCandidate(const ModelBackend& backend, QList<ModelBackend>& list)
{
    if (!list.contains(backend)) list.append(backend);
}

QList<ModelBackend> ModelRouter::candidates(bool requireFrontier) const
{
    QList<ModelBackend> list;
    const bool usable = ownKeyUsable();
    if (requireFrontier) {
        if (usable) list.append(ModelBackend::byoKey(m_settings.byoKeyProvider()));
        return list;
    }
    if (m_settings.aiChatPreferOwnKey() && usable) appendCandidate(ModelBackend::byoKey(m_settings.byoKeyProvider()), list);
    if (m_settings.ollamaEnabled()) appendCandidate(ModelBackend::ollamaLocal(), list);
    if (usable) appendCandidate(ModelBackend::byoKey(m_settings.byoKeyProvider()), list);
    return list;
}

bool ModelRouter::looksLikeRefusal(const QString& answer)
{
    static const std::array<QLatin1String, 12> phrases = {
        QLatin1String("i apologize, but i cannot"), QLatin1String("i apologize, but i can't"),
        QLatin1String("i cannot assist"),           QLatin1String("i can't assist"),
        QLatin1String("i'm unable to assist"),      QLatin1String("i cannot help with that"),
        QLatin1String("i can't help with that"),    QLatin1String("i'm not able to help"),
        QLatin1String("i cannot provide"),          QLatin1String("i can't provide"),
        QLatin1String("unable to help with that request"), QLatin1String("cannot fulfill that request")};
    const QString lower = answer.toLower();
    if (lower.size() > 259) return false;
    for (const auto& phrase : phrases) {
        if (lower.contains(phrase)) return true;
    }
    return false;
}

void ModelRouter::respond(const QString& prompt, const std::optional<QString>& system, bool requireFrontier,
                          AnswerCallback done)
{
    if (!m_settings.aiChatEnabled()) {
        done(Result<ModelAnswer>::failure(ModelRouterError::disabled()));
        return;
    }
    auto walk = std::make_shared<Walk>();
    walk->list = candidates(requireFrontier);
    if (walk->list.isEmpty()) {
        done(Result<ModelAnswer>::failure(
            ModelRouterError::noBackendAvailable(requireFrontier ? frontierNeedsKeyText() : nothingEnabledText())));
        return;
    }
    walk->prompt = prompt;
    walk->system = system;
    walk->done = std::move(done);
    step(std::move(walk));
}

void ModelRouter::step(std::shared_ptr<Walk> walk)
{
    while (walk->next < walk->list.size()) {
        const qsizetype index = walk->next++;
        const ModelBackend candidate = walk->list.at(index);
        // Nothing leaves the machine for the user's own key before the disclosure is accepted.
        if ((candidate.kind == ModelBackend::Kind::byoKey || candidate.kind == ModelBackend::Kind::none) &&
            !m_settings.aiChatDisclosureAccepted()) {
            walk->disclosureMissing = true;
            continue;
        }
        const bool isLast = index == walk->list.size() - 1;
        QPointer<ModelRouter> self(this);
        dispatch(candidate, walk->prompt, walk->system, [self, walk, candidate, isLast](Result<QString> answer) {
            if (!self) return;
            if (!answer) {
                walk->lastError = answer.error();
                self->step(walk);
                return;
            }
            if (!isLast && looksLikeRefusal(*answer)) {
                walk->declined = true;
                self->step(walk);
                return;
            }
            self->m_activeBackend = candidate;
            Q_EMIT self->activeBackendChanged();
            if (self->m_recordActiveModel) self->m_recordActiveModel(candidate.label(), candidate.isFrontier());
            walk->done(Result<ModelAnswer>::success(ModelAnswer{*answer, candidate}));
        });
        return;
    }
    if (walk->declined) {
        walk->done(Result<ModelAnswer>::failure(ModelRouterError::noBackendAvailable(declinedText())));
    } else if (walk->disclosureMissing) {
        // What the user can do about it: the key they set up waits for the disclosure.
        walk->done(Result<ModelAnswer>::failure(ModelRouterError::disclosureNotAccepted()));
    } else if (walk->lastError) {
        walk->done(Result<ModelAnswer>::failure(*walk->lastError));
    } else {
        walk->done(Result<ModelAnswer>::failure(ModelRouterError::noBackendAvailable(nothingEnabledText())));
    }
}

void ModelRouter::dispatch(const ModelBackend& backend, const QString& prompt, const std::optional<QString>& system,
                           std::function<void(Result<QString>)> done)
{
    switch (backend.kind) {
    case ModelBackend::Kind::ollamaLocal: m_backends.askOllama(prompt, system, std::move(done)); return;
    case ModelBackend::Kind::byoKey: m_backends.askOwnKey(backend.provider, prompt, system, std::move(done)); return;
    case ModelBackend::Kind::appleOnDevice:
        done(Result<QString>::failure(
            ModelRouterError::noBackendAvailable(QStringLiteral("Apple on-device model not ready."))));
        return;
    case ModelBackend::Kind::none: break;
    }
    done(Result<QString>::failure(ModelRouterError::noBackendAvailable(QStringLiteral("no backend"))));
}
