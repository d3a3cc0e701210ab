#include "services/TelemetryCollector.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "platform/HostFacts.h"
#include "services/HttpExchange.h"
#include "services/MachineIdentity.h"
#include "services/ServiceEndpoint.h"
#include "services/UpdateChecker.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

TelemetryCollector::TelemetryCollector(Collaborators c, QObject* parent)
    : QObject(parent), m_c(std::move(c)), m_network(HttpExchange::makeEphemeral(this))
{
}

QString TelemetryCollector::wireName(Category category)
{
    switch (category) {
    case Category::machine: return QStringLiteral("machine");
    case Category::performance: return QStringLiteral("performance");
    case Category::feature: return QStringLiteral("feature");
    case Category::intent: return QStringLiteral("intent");
    case Category::optimize: return QStringLiteral("optimize");
    case Category::gate: return QStringLiteral("gate");
    case Category::error: return QStringLiteral("error");
    }
    return {};
}

bool TelemetryCollector::isEURegion(const QLocale& locale)
{
    using T = QLocale::Territory;
    static const T regions[] = {
        // European Union
        T::Austria, T::Belgium, T::Bulgaria, T::Croatia, T::Cyprus, T::Czechia, T::Denmark, T::Estonia,
        T::Finland, T::France, T::Germany, T::Greece, T::Hungary, T::Ireland, T::Italy, T::Latvia, T::Lithuania,
        T::Luxembourg, T::Malta, T::Netherlands, T::Poland, T::Portugal, T::Romania, T::Slovakia, T::Slovenia,
        T::Spain, T::Sweden,
        // EEA, the United Kingdom and Switzerland
        T::Iceland, T::Liechtenstein, T::Norway, T::UnitedKingdom, T::Switzerland};
    const T territory = locale.territory();
    for (T t : regions) {
        if (t == territory) return true;
    }
    return false;
}

QString TelemetryCollector::anonymousID(const std::optional<QString>& machineId)
{
    const QByteArray seed = machineId.value_or(QStringLiteral("no-uuid")).toUtf8() + "|hollowmere-instrument-seed-k7";
    return QString::fromLatin1(QCryptographicHash::hash(seed, QCryptographicHash::Sha256).toHex().left(16));
}

TelemetryCollector::ConsentQuestion TelemetryCollector::consentQuestion(bool euRegion)
{
    ConsentQuestion q;
    q.message = QStringLiteral("Help improve Veltranmoor");
    q.informative =
        QStringLiteral("Veltranmoor can share anonymized usage & performance data to help us improve the product. We "
                       "never sell your data, and never collect your files, file names, keystrokes, or what you type in "
                       "chat.\n\n") +
        (euRegion ? QStringLiteral("Because you're in the EU/EEA, this is OFF unless you choose to turn it on.")
                  : QStringLiteral("It's on by default \u2014 you can turn it off now or anytime in Settings \u2192 About "
                                   "\u2192 Privacy & Data."));
    q.firstButton = euRegion ? QStringLiteral("Turn on sharing") : QStringLiteral("Sounds good");
    q.secondButton = euRegion ? QStringLiteral("No thanks") : QStringLiteral("Opt out");
    return q;
}

bool TelemetryCollector::sharing() const
{
    return m_c.settings.telemetryConsentDecided() && m_c.settings.telemetryEnabled();
}

void TelemetryCollector::setStatus(const QString& status)
{
    if (m_status == status) return;
    m_status = status;
    Q_EMIT statusChanged();
}

void TelemetryCollector::presentConsentPrompt()
{
    if (m_c.settings.telemetryConsentDecided() || !m_c.ask) return;
    const std::optional<bool> chosen = m_c.ask(consentQuestion(isEURegion()));
    // Unanswered stays undecided: the next launch asks again.
    if (!chosen) return;
    m_c.settings.setTelemetryEnabled(*chosen);
    m_c.settings.setTelemetryConsentDecided(true);
    start();
}

void TelemetryCollector::start()
{
    if (m_flushTimer) m_flushTimer->cancel();
    m_flushTimer.reset();
    if (!sharing()) return;
    trackProfile();
    m_flushTimer = m_c.scheduler.every(flushInterval, this, [this] {
        // The tick is the retry point of a delivery that failed.
        m_holdSizeTrigger = false;
        flush();
    });
}

void TelemetryCollector::trackProfile()
{
    const HostFacts host = m_c.host.read();
    track(Category::machine, QStringLiteral("profile"),
          QJsonObject{{QStringLiteral("chip"), host.cpuBrand.isEmpty() ? QStringLiteral("unknown") : host.cpuBrand},
                      {QStringLiteral("ram_gb"), qint64(host.physicalMemoryBytes >> 30)},
                      {QStringLiteral("os"), host.osVersion},
                      {QStringLiteral("region_eu"), isEURegion()}});
}

void TelemetryCollector::track(Category category, const QString& event, const QJsonObject& properties)
{
    if (!sharing()) return;
    if (m_anonymousID.isEmpty()) m_anonymousID = anonymousID(m_c.identity.derived());
    QJsonObject record{{QStringLiteral("anon_id"), m_anonymousID},
                       {QStringLiteral("category"), wireName(category)},
                       {QStringLiteral("event"), event},
                       {QStringLiteral("ts"), double(m_c.clock.now().toMSecsSinceEpoch()) / 1000.0},
                       {QStringLiteral("app_version"), currentAppVersion()}};
    for (auto it = properties.begin(); it != properties.end(); ++it) record.insert(QStringLiteral("d_") + it.key(), it.value());
    m_buffer.append(record);
    while (m_buffer.size() > bufferLimit) m_buffer.removeFirst();
    if (m_buffer.size() >= sizeTrigger && !m_holdSizeTrigger) {
        QPointer<TelemetryCollector> self(this);
        postTo(this, [self] {
            if (self) self->flush();
        });
    }
}

void TelemetryCollector::flush()
{
    if (!sharing() || m_buffer.isEmpty() || m_inFlight) return;
    const std::optional<QUrl> url = ServiceEndpoint::parse(m_c.settings.telemetryEndpoint());
    // Nothing leaves with an unusable address; the records wait for a usable one.
    if (!url) {
        setStatus(QStringLiteral("bad URL"));
        return;
    }
    if (const QString refused = ServiceEndpoint::refusal(*url); !refused.isEmpty()) {
        if (m_status != refused) Log::line(QStringLiteral("[Veltranmoor] Telemetry not sent: ") + refused);
        setStatus(refused);
        return;
    }
    QList<QJsonObject> batch;
    batch.swap(m_buffer);
    QJsonArray events;
    for (const QJsonObject& record : batch) events.append(record);

    HttpExchange::Request request;
    request.verb = QByteArrayLiteral("POST");
    request.url = *url;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = QJsonDocument(QJsonObject{{QStringLiteral("events"), events}}).toJson(QJsonDocument::Compact);
    request.timeout = m_c.timeout;
    m_inFlight = true;
    HttpExchange::send(*m_network, request, this,
                       [this, batch](const HttpOutcome& outcome) { finishFlush(batch, outcome); });
}

void TelemetryCollector::finishFlush(QList<QJsonObject> batch, const HttpOutcome& outcome)
{
    m_inFlight = false;
    if (outcome.success()) {
        m_holdSizeTrigger = false;
        setStatus(QStringLiteral("sent ") + QString::number(batch.size()));
        return;
    }
    // Back in front of what was tracked meanwhile, in the order it was tracked.
    batch.append(m_buffer);
    m_buffer = std::move(batch);
    while (m_buffer.size() > bufferLimit) m_buffer.removeFirst();
    m_holdSizeTrigger = true;
    setStatus(outcome.failureText());
}
