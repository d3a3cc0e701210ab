#include "services/VRAXClient.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "monitoring/BatteryLevelSource.h"
#include "monitoring/MonitorState.h"
#include "platform/HostFacts.h"
#include "services/HttpExchange.h"
#include "services/MachineIdentity.h"
#include "services/ServiceEndpoint.h"
#include "services/UpdateChecker.h"

#include <QJsonDocument>

VRAXClient::VRAXClient(Collaborators c, QObject* parent)
    : QObject(parent), m_c(std::move(c))
{
}

void VRAXClient::setStatus(Status status)
{
    if (m_status == status) return;
    m_status = std::move(status);
    Q_EMIT statusChanged();
}

void VRAXClient::start()
{
    apply();
    // Any setting's change reaches apply, which acts only on its own one.
    QObject::connect(&m_c.settings, &AppSettings::changed, this, [this] { apply(); }, Qt::QueuedConnection);
}

void VRAXClient::apply()
{
    const bool enabled = m_c.settings.vraxIntegrationEnabled();
    if (m_lastApplyInputs == enabled) return;
    m_lastApplyInputs = enabled;
    if (enabled) {
        if (m_heartbeatTimer && m_heartbeatTimer->isActive()) return;
        connectToServer();
        return;
    }
    if (m_heartbeatTimer) m_heartbeatTimer->cancel();
    m_heartbeatTimer.reset();
    ++m_generation;
    setStatus(Status::disabled());
}

void VRAXClient::connectToServer()
{
    setStatus(Status::connecting());
    registerMachine();
    m_heartbeatTimer = m_c.scheduler.every(heartbeatInterval, this, [this] { sendHeartbeat(); });
}

QJsonObject VRAXClient::registerBody() const
{
    const HostFacts host = m_c.host.read();
    return QJsonObject{{QStringLiteral("machine_id"), m_c.identity.id()},
                       {QStringLiteral("hostname"), host.hostName.isEmpty() ? QStringLiteral("unknown") : host.hostName},
                       {QStringLiteral("app_version"), currentAppVersion()},
                       {QStringLiteral("os_version"), host.osVersion}};
}

QJsonObject VRAXClient::heartbeatBody() const
{
    const PerformanceSnapshot snapshot = m_c.monitor.currentSnapshot();
    const double memPct = snapshot.memoryTotal > 0 ? snapshot.memoryUsed / snapshot.memoryTotal * 100.0 : 0.0;
    // A sample whose used figure exceeds its total has no free space to report, not 16 EiB.
    const double diskFree =
        snapshot.diskTotal >= snapshot.diskUsed ? double(snapshot.diskTotal - snapshot.diskUsed) / double(1ull << 30) : 0.0;
    return QJsonObject{{QStringLiteral("machine_id"), m_c.identity.id()},
                       {QStringLiteral("metrics"),
                        QJsonObject{{QStringLiteral("cpu"), snapshot.cpuUsage},
                                    {QStringLiteral("mem_used_gb"), snapshot.memoryUsed},
                                    {QStringLiteral("mem_pct"), memPct},
                                    {QStringLiteral("disk_free_gb"), diskFree},
                                    {QStringLiteral("battery_pct"), m_c.battery.batteryLevel()}}}};
}

void VRAXClient::registerMachine() { post(QStringLiteral("register"), registerBody()); }

void VRAXClient::sendHeartbeat() { post(QStringLiteral("heartbeat"), heartbeatBody()); }

std::optional<QUrl> VRAXClient::actionURL(const QString& setting, const QString& action, QString* whyNot)
{
    const std::optional<QUrl> url =
        ServiceEndpoint::parse(ServiceEndpoint::remoteBase(setting) + QStringLiteral("/api/veltranmoor/owner/") + action);
    if (!url) {
        if (whyNot) *whyNot = QStringLiteral("bad endpoint URL");
        return std::nullopt;
    }
    if (const QString refused = ServiceEndpoint::refusal(*url); !refused.isEmpty()) {
        if (whyNot) *whyNot = refused;
        return std::nullopt;
    }
    return url;
}

void VRAXClient::post(const QString& action, const QJsonObject& body)
{
    QString whyNot;
    const std::optional<QUrl> url = actionURL(m_c.settings.vraxEndpointURL(), action, &whyNot);
    if (!url) {
        setStatus(Status::error(whyNot));
        return;
    }
    HttpExchange::Request request;
    request.verb = QByteArrayLiteral("POST");
    request.url = *url;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.timeout = m_c.timeout;
    const quint64 generation = m_generation;
    HttpExchange::send(request, this, [this, generation](const HttpOutcome& outcome) {
        if (generation != m_generation) return;
        setStatus(outcome.success() ? Status::connected(m_c.clock.now()) : Status::error(outcome.failureText()));
    });
}
