#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class AppSettings;
class BatteryLevelSource;
class Clock;
class HostFactsSource;
class MachineIdentity;
class MonitorState;

// The remote-control link: registers this machine with the server the setting
// "vraxEndpointURL" names, then a heartbeat with a few load figures every 60 s, while
// "vraxIntegrationEnabled" is on. Follows both settings as they change; publishes the outcome
// of the last request as its status. Main thread.
class VRAXClient final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    struct Status {
        enum class Kind { connected, error, disabled, connecting };
        Kind kind = Kind::disabled;
        QDateTime lastBeatAt;  // connected
        QString message;       // error

        static Status connected(QDateTime at) { return {Kind::connected, std::move(at), {}}; }
        static Status error(QString message) { return {Kind::error, {}, std::move(message)}; }
        static Status disabled() { return {}; }
        static Status connecting() { return {Kind::connecting, {}, {}}; }
        bool operator==(const Status&) const = default;
    };

    struct Collaborators {
        AppSettings& settings;
        const MonitorState& monitor;
        const BatteryLevelSource& battery;
        const MachineIdentity& identity;
        const HostFactsSource& host;
        const Clock& clock;
        Scheduler& scheduler;
        std::chrono::milliseconds timeout{10000};
    };

    static constexpr std::chrono::seconds heartbeatInterval{60};

    explicit VRAXClient(Collaborators c, QObject* parent = nullptr);
    static VRAXClient& shared();

    // Applies the enabled flag once, then again on every settings change.
    void start() override;
    // Acts only when "vraxIntegrationEnabled" changed since the last apply.
    void apply();
    const Status& status() const { return m_status; }
    bool heartbeatRunning() const { return m_heartbeatTimer && m_heartbeatTimer->isActive(); }

    void registerMachine();
    void sendHeartbeat();
    QJsonObject registerBody() const;
    QJsonObject heartbeatBody() const;

    // The address of `action` below the server's API, or the status text why there is none.
    static std::optional<QUrl> actionURL(const QString& setting, const QString& action, QString* whyNot = nullptr);

Q_SIGNALS:
    void statusChanged();

private:
    void connectToServer();
    void post(const QString& action, const QJsonObject& body);
    void setStatus(Status status);

    Collaborators m_c;
    Status m_status;
    WorkHandle m_heartbeatTimer;
    std::optional<bool> m_lastApplyInputs;
    // Replies to requests sent before the integration went off are not published.
    quint64 m_generation = 0;
};
