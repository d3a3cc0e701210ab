#pragma once

#include "core/Scheduler.h"
#include "services/TelemetryService.h"

#include <QJsonObject>
#include <QByteArray>
#include <QList>
#include <QObject>

#include <chrono>
#include <functional>
#include <optional>

class AppSettings;
class Clock;
class HostFactsSource;
class MachineIdentity;
struct HttpOutcome;

// Anonymous usage records, sent only once the user has decided on consent and left sharing
// on: an in-memory buffer posted as one batch every 300 s, or at once when it holds 50
// records. A batch that cannot be delivered goes back into the buffer for the next tick.
class TelemetryCollector final : public QObject, public TelemetryService {
    Q_OBJECT
public:
    enum class Category { machine, performance, feature, intent, optimize, gate, error };
    static QString wireName(Category category);

    // The first-launch question; its wording and default follow the region.
    struct ConsentQuestion {
        QString message;
        QString informative;
        QString firstButton;  // turns sharing on
        QString secondButton;
        // Enter presses the button that keeps the regional default: never an opt-in where
        // sharing starts off.
        bool firstIsDefault = false;
    };
    // `regionKnown` false: the region could not be told, and the question says so.
    static ConsentQuestion consentQuestion(bool euRegion, bool regionKnown = true);

    static constexpr std::chrono::seconds flushInterval{300};
    static constexpr int sizeTrigger = 50;
    // A server that stays away for days does not make the buffer grow without end.
    static constexpr int bufferLimit = 1000;

    struct Collaborators {
        AppSettings& settings;
        const Clock& clock;
        Scheduler& scheduler;
        const MachineIdentity& identity;
        const HostFactsSource& host;
        // Asks the question modally: true for the first button, false for the second, none
        // when it ended unanswered (the application quit meanwhile).
        std::function<std::optional<bool>(const ConsentQuestion&)> ask;
        // The territory of the regional formats (see regionFromEnvironment); none when it
        // cannot be told.
        std::function<std::optional<QString>()> region = [] { return regionFromEnvironment(); };
        std::chrono::milliseconds timeout{15000};
    };

    explicit TelemetryCollector(Collaborators c, QObject* parent = nullptr);
    static TelemetryCollector& shared();

    // The upper-case ISO territory of a POSIX locale name ("de_DE.UTF-8@euro" gives "DE");
    // none for "C", "POSIX", a name without a territory or a code no locale knows.
    static std::optional<QString> territoryOf(const QByteArray& localeName);
    // The region of the regional formats, not of the interface language: the first of LC_ALL,
    // LC_MONETARY, LC_TIME, LC_PAPER, LC_MEASUREMENT and LANG that is set and not empty.
    static std::optional<QString> regionFromEnvironment(
        const std::function<QByteArray(const char*)>& variable = [](const char* name) { return qgetenv(name); });
    // True in the EU/EEA, the United Kingdom and Switzerland, and when the region cannot be
    // told: sharing then starts off.
    static bool isEURegion(const std::optional<QString>& territory);
    bool isEURegion() const override { return isEURegion(m_c.region()); }
    bool regionKnown() const override { return m_c.region().has_value(); }
    // 16 lower-case hex digits: SHA-256 of the app-specific machine id ("no-uuid" without one)
    // and the collector's salt.
    static QString anonymousID(const std::optional<QString>& machineId);

    void start() override;
    void presentConsentPrompt() override;
    void trackProfile();
    void track(Category category, const QString& event, const QJsonObject& properties);
    // Posts the whole buffer as one batch.
    void flush();

    const QList<QJsonObject>& buffer() const { return m_buffer; }
    bool timerRunning() const { return m_flushTimer && m_flushTimer->isActive(); }
    // The outcome of the last flush ("" before the first): "sent N", a refusal or failure text.
    const QString& status() const { return m_status; }

Q_SIGNALS:
    void statusChanged();

private:
    bool sharing() const;
    void finishFlush(QList<QJsonObject> batch, const HttpOutcome& outcome);
    void setStatus(const QString& status);

    Collaborators m_c;
    QList<QJsonObject> m_buffer;
    WorkHandle m_flushTimer;
    QString m_anonymousID;
    QString m_status;
    bool m_inFlight = false;
    // After a failed delivery the size trigger waits for the next tick: no retry before it.
    bool m_holdSizeTrigger = false;
};
