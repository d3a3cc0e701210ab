#include "services/TavrilonFleetClient.h"

#include "actions/ActionGate.h"
#include "actions/MemoryReliefAction.h"
#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Executor.h"
#include "core/MainThread.h"
#include "core/UserDefaults.h"
#include "monitoring/MonitorState.h"
#include "services/HttpExchange.h"
#include "services/MachineIdentity.h"
#include "services/ServiceEndpoint.h"
#include "services/UpdateChecker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

namespace {
const QString kShowOnLaunch = QStringLiteral("tavrilon.hud.showOnLaunch");
}

TavrilonFleetClient::TavrilonFleetClient(Collaborators c, QObject* parent)
    : QObject(parent), m_c(std::move(c))
{
}

void TavrilonFleetClient::setStatus(Status status)
{
    if (m_status == status) return;
    m_status = std::move(status);
    Q_EMIT statusChanged();
}

void TavrilonFleetClient::setLastDirective(const QString& text)
{
    m_lastDirective = text;
    Q_EMIT lastDirectiveChanged();
}

void TavrilonFleetClient::start()
{
    reconcile();
    QObject::connect(&m_c.settings, &AppSettings::changed, this, [this] { reconcile(); }, Qt::QueuedConnection);
}

void TavrilonFleetClient::reconcile()
{
    const bool enabled = m_c.settings.fleetCommsEnabled();
    if (m_lastInputs == enabled) return;
    m_lastInputs = enabled;
    if (enabled) {
        if (polling()) return;
        startPolling();
        return;
    }
    if (m_timer) m_timer->cancel();
    m_timer.reset();
    ++m_generation;
    setStatus(Status::disabled());
}

void TavrilonFleetClient::startPolling()
{
    if (m_timer) m_timer->cancel();
    m_timer = m_c.scheduler.every(pollInterval, this, [this] { poll(); });
    QPointer<TavrilonFleetClient> self(this);
    postTo(this, [self] {
        if (self) self->poll();
    });
}

void TavrilonFleetClient::poll()
{
    QPointer<TavrilonFleetClient> self(this);
    sendHeartbeat([self] {
        if (self) self->fetchDirectives();
    });
}

std::optional<QUrl> TavrilonFleetClient::endpointURL(const QString& setting, const QString& name, QString* whyNot)
{
    const std::optional<QUrl> url =
        ServiceEndpoint::parse(ServiceEndpoint::remoteBase(setting) + QStringLiteral("/api/veltranmoor/fleet/") + name);
    if (!url) {
        if (whyNot) *whyNot = QStringLiteral("bad URL");
        return std::nullopt;
    }
    if (const QString refused = ServiceEndpoint::refusal(*url); !refused.isEmpty()) {
        if (whyNot) *whyNot = refused;
        return std::nullopt;
    }
    return url;
}

QJsonObject TavrilonFleetClient::heartbeatBody() const
{
    const PerformanceSnapshot snapshot = m_c.monitor.currentSnapshot();
    const double memPct = snapshot.memoryTotal > 0 ? snapshot.memoryUsed / snapshot.memoryTotal * 100.0 : 0.0;
    const double diskFree =
        snapshot.diskTotal >= snapshot.diskUsed ? double(snapshot.diskTotal - snapshot.diskUsed) / double(1ull << 30) : 0.0;
    return QJsonObject{{QStringLiteral("machine_id"), m_c.identity.id()},
                       {QStringLiteral("app_version"), currentAppVersion()},
                       {QStringLiteral("health"), qint64(m_c.monitor.currentHealth().score)},
                       {QStringLiteral("cpu"), snapshot.cpuUsage},
                       {QStringLiteral("mem_pct"), memPct},
                       {QStringLiteral("disk_free_gb"), diskFree},
                       {QStringLiteral("yolo_armed"), m_c.gate.yoloArmed()},
                       {QStringLiteral("last_optimizer"), m_c.optimizerSummary ? m_c.optimizerSummary() : QString()}};
}

void TavrilonFleetClient::sendHeartbeat(std::function<void()> then)
{
    QString whyNot;
    const std::optional<QUrl> url = endpointURL(m_c.settings.vraxEndpointURL(), QStringLiteral("status"), &whyNot);
    if (!url) {
        setStatus(Status::offline(whyNot));
        then();
        return;
    }
    HttpExchange::Request request;
    request.verb = QByteArrayLiteral("POST");
    request.url = *url;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = QJsonDocument(heartbeatBody()).toJson(QJsonDocument::Compact);
    request.timeout = m_c.timeout;
    const quint64 generation = m_generation;
    HttpExchange::send(request, this, [this, generation, then = std::move(then)](const HttpOutcome& outcome) {
        if (generation != m_generation) return;
        setStatus(outcome.success() ? Status::connected(m_c.clock.now()) : Status::offline(outcome.failureText()));
        then();
    });
}

QStringList TavrilonFleetClient::directiveNames(const QByteArray& reply)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(reply, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return {};
    const QJsonValue list = document.object().value(QLatin1String("directives"));
    if (!list.isArray()) return {};
    const QJsonArray array = list.toArray();
    for (const QJsonValue& element : array) {
        if (!element.isObject()) return {};
    }
    QStringList names;
    for (const QJsonValue& element : array) {
        const QJsonValue type = element.toObject().value(QLatin1String("type"));
        if (type.isString()) names.append(type.toString());
    }
    return names;
}

void TavrilonFleetClient::fetchDirectives()
{
    const std::optional<QUrl> url = endpointURL(m_c.settings.vraxEndpointURL(), QStringLiteral("directives"));
    if (!url) {
        Q_EMIT pollFinished();
        return;
    }
    HttpExchange::Request request;
    request.url = *url;
    request.headers = {{"X-Machine-Id", m_c.identity.id().toUtf8()}};
    request.timeout = m_c.timeout;
    const quint64 generation = m_generation;
    HttpExchange::send(request, this, [this, generation](const HttpOutcome& outcome) {
        if (generation != m_generation) return;
        if (outcome.success()) {
            for (const QString& name : directiveNames(outcome.body)) executeDirective(name);
        }
        Q_EMIT pollFinished();
    });
}

TavrilonAction TavrilonFleetClient::cleanAction(std::function<QString()> perform)
{
    TavrilonAction a;
    a.title = QStringLiteral("Clean caches & junk");
    a.detail = QStringLiteral("Removes regenerable caches, logs, and trash. Apps rebuild these on demand.");
    a.risk = ActionRisk::reversible;
    a.perform = std::move(perform);
    a.slow = true;
    a.epitopeID = QStringLiteral("clean-caches");
    a.outcomeMetric = OutcomeMetric::diskFreedGB;
    return a;
}

TavrilonAction TavrilonFleetClient::reliefAction(std::function<QString()> perform)
{
    return MemoryReliefAction::makeAction(std::move(perform));
}

void TavrilonFleetClient::executeDirective(const QString& name)
{
    if (name == QLatin1String("status")) {
        setLastDirective(QStringLiteral("status requested"));
    } else if (name == QLatin1String("optimize")) {
        runGated({cleanAction(m_c.cleanCaches), reliefAction(m_c.relieveMemory)});
        setLastDirective(QStringLiteral("remote optimize (reversible) ran"));
    } else if (name == QLatin1String("hud_show")) {
        if (m_c.showHUD) m_c.showHUD();
        m_c.settings.defaults().setBool(kShowOnLaunch, true);
        setLastDirective(QStringLiteral("HUD shown"));
    } else if (name == QLatin1String("hud_hide")) {
        if (m_c.hideHUD) m_c.hideHUD();
        m_c.settings.defaults().setBool(kShowOnLaunch, false);
        setLastDirective(QStringLiteral("HUD hidden"));
    } else {
        setLastDirective(QStringLiteral("refused unsupported/destructive directive: ") + name);
    }
}

void TavrilonFleetClient::runGated(QList<TavrilonAction> actions)
{
    if (actions.isEmpty()) {
        Q_EMIT optimizeFinished();
        return;
    }
    const TavrilonAction action = actions.takeFirst();
    const GateDecision decision = m_c.gate.evaluate(action);
    const bool allowed = decision.kind() == GateDecision::Kind::allowFree || decision.kind() == GateDecision::Kind::allowWithUndo;
    if (!allowed) {
        if (decision.isWarningOrBlock()) m_c.gate.noteWarning(action);
        runGated(std::move(actions));
        return;
    }
    // The clean-up walks and moves folders: it runs on the worker, and the ledger entry is
    // made back on the main thread.
    QPointer<TavrilonFleetClient> self(this);
    m_c.worker.async([self, action, actions] {
        const QString text = action.perform ? action.perform() : QString();
        if (!self) return;
        postTo(self, [self, action, actions, text] {
            if (!self) return;
            self->m_c.gate.record(action, text, false);
            self->runGated(actions);
        });
    });
}
