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
#include <QLocale>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

TelemetryCollector::TelemetryCollector(Collaborators c, QObject* parent)
    : QObject(parent), m_c(std::move(c))
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

std::optional<QString> TelemetryCollector::territoryOf(const QByteArray& localeName)
{
    // language[_territory][.codeset][@modifier]
    QByteArray name = localeName;
    if (const qsizetype at = name.indexOf('@'); at >= 0) name.truncate(at);
    if (const qsizetype dot = name.indexOf('.'); dot >= 0) name.truncate(dot);
    const qsizetype underscore = name.indexOf('_');
    if (underscore < 0) return std::nullopt;
    const QString code = QString::fromLatin1(name.mid(underscore + 1)).toUpper();
    if (code.size() != 2 || !code[0].isLetter() || !code[1].isLetter()) return std::nullopt;
    if (QLocale::codeToTerritory(code) == QLocale::AnyTerritory) return std::nullopt;
    return code;
}

std::optional<QString> TelemetryCollector::regionFromEnvironment(const std::function<QByteArray(const char*)>& variable)
{
    for (const char* name : {"LC_ALL", "LC_MONETARY", "LC_TIME", "LC_PAPER", "LC_MEASUREMENT", "LANG"}) {
        const QByteArray value = variable(name);
        if (!value.isEmpty()) return territoryOf(value);
    }
    return std::nullopt;
}

bool TelemetryCollector::isEURegion(const std::optional<QString>& territory)
{
    if (!territory) return true;
    static const QStringList regions = {
        // European Union
        QStringLiteral("AT"), QStringLiteral("BE"), QStringLiteral("BG"), QStringLiteral("HR"), QStringLiteral("CY"),
        QStringLiteral("CZ"), QStringLiteral("DK"), QStringLiteral("EE"), QStringLiteral("FI"), QStringLiteral("FR"),
        QStringLiteral("DE"), QStringLiteral("GR"), QStringLiteral("HU"), QStringLiteral("IE"), QStringLiteral("IT"),
        QStringLiteral("LV"), QStringLiteral("LT"), QStringLiteral("LU"), QStringLiteral("MT"), QStringLiteral("NL"),
        QStringLiteral("PL"), QStringLiteral("PT"), QStringLiteral("RO"), QStringLiteral("SK"), QStringLiteral("SI"),
        QStringLiteral("ES"), QStringLiteral("SE"),
        // EEA, the United Kingdom and Switzerland
        QStringLiteral("IS"), QStringLiteral("LI"), QStringLiteral("NO"), QStringLiteral("GB"), QStringLiteral("CH")};
    return regions.contains(*territory);
}

QString TelemetryCollector::anonymousID(const std::optional<QString>& machineId)
{
    const QByteArray seed = machineId.value_or(QStringLiteral("no-uuid")).toUtf8() + "|hollowmere-instrument-seed-k7";
    return QString::fromLatin1(QCryptographicHash::hash(seed, QCryptographicHash::Sha256).toHex().left(16));
}

TelemetryCollector::ConsentQuestion TelemetryCollector::consentQuestion(bool euRegion, bool regionKnown)
{
    ConsentQuestion q;
    q.message = QStringLiteral("Help improve Veltranmoor");
    q.informative =
        QStringLiteral("Veltranmoor can share anonymized usage & performance data to help us improve the product. We "
                       "never sell your data, and never collect your files, file names, keystrokes, or what you type in "
                       "chat.\n\n") +
        (!regionKnown ? QStringLiteral("Your region can't be told from this computer's regional settings, so this is OFF "
                                       "unless you choose to turn it on.")
         : euRegion ? QStringLiteral("Because you're in the EU/EEA, this is OFF unless you choose to turn it on.")
                  : QStringLiteral("It's on by default \u2014 you can turn it off now or anytime in Settings \u2192 About "
                                   "\u2192 Privacy & Data."));
    q.firstButton = euRegion ? QStringLiteral("Turn on sharing") : QStringLiteral("Sounds good");
    q.secondButton = euRegion ? QStringLiteral("No thanks") : QStringLiteral("Opt out");
    q.firstIsDefault = !euRegion;
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
    const std::optional<QString> region = m_c.region();
    const std::optional<bool> chosen = m_c.ask(consentQuestion(isEURegion(region), region.has_value()));
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
    HttpExchange::send(request, this,
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
