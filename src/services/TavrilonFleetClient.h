#pragma once

#include "actions/TavrilonAction.h"
#include "core/Lifecycle.h"
#include "core/Scheduler.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class ActionGate;
class AppSettings;
class Clock;
class Executor;
class MachineIdentity;
class MonitorState;

// Reports this machine to the fleet API of the remote-control server every 300 s while
// "fleetCommsEnabled" is on, then fetches the pending directives and carries out the four it
// knows: "status", "optimize" (two reversible actions, each through the action gate),
// "hud_show" and "hud_hide". Every other directive is refused and only noted. Main thread.
class TavrilonFleetClient final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    struct Status {
        enum class Kind { connected, offline, disabled };
        Kind kind = Kind::disabled;
        QDateTime at;     // connected
        QString message;  // offline

        static Status connected(QDateTime at) { return {Kind::connected, std::move(at), {}}; }
        static Status offline(QString message) { return {Kind::offline, {}, std::move(message)}; }
        static Status disabled() { return {}; }
        bool operator==(const Status&) const = default;
    };

    struct Collaborators {
        AppSettings& settings;
        const MonitorState& monitor;
        ActionGate& gate;
        const MachineIdentity& identity;
        const Clock& clock;
        Scheduler& scheduler;
        Executor& worker;                          // where the optimize actions run
        std::function<QString()> optimizerSummary;  // the proactive optimizer's last summary
        std::function<QString()> cleanCaches;       // performCacheCleanup
        std::function<QString()> relieveMemory;     // performMemoryRelief
        std::function<void()> showHUD;
        std::function<void()> hideHUD;  // orders the panel out when there is one
        std::chrono::milliseconds timeout{10000};
    };

    static constexpr std::chrono::seconds pollInterval{300};

    explicit TavrilonFleetClient(Collaborators c, QObject* parent = nullptr);
    static TavrilonFleetClient& shared();

    // Reconciles once, then again on every settings change.
    void start() override;
    // Acts only when "fleetCommsEnabled" changed since the last reconcile.
    void reconcile();
    // A heartbeat, then the directives whatever its outcome.
    void poll();
    void executeDirective(const QString& name);

    const Status& status() const { return m_status; }
    const std::optional<QString>& lastDirective() const { return m_lastDirective; }
    bool polling() const { return m_timer && m_timer->isActive(); }

    QJsonObject heartbeatBody() const;
    // The fleet address of `name`, or the status text why there is none.
    static std::optional<QUrl> endpointURL(const QString& setting, const QString& name, QString* whyNot = nullptr);
    // The directive names of a reply, in order; empty when its shape is not the expected one.
    static QStringList directiveNames(const QByteArray& reply);

    // The two actions of "optimize".
    static TavrilonAction cleanAction(std::function<QString()> perform);
    static TavrilonAction reliefAction(std::function<QString()> perform);

Q_SIGNALS:
    void statusChanged();
    void lastDirectiveChanged();
    // A poll's directives were fetched and carried out, or the fetch failed.
    void pollFinished();
    // An "optimize" directive's actions are done (run, or held back by the gate).
    void optimizeFinished();

private:
    void startPolling();
    void sendHeartbeat(std::function<void()> then);
    void fetchDirectives();
    void runGated(QList<TavrilonAction> actions);
    void setStatus(Status status);
    void setLastDirective(const QString& text);

    Collaborators m_c;
    Status m_status;
    std::optional<QString> m_lastDirective;
    WorkHandle m_timer;
    std::optional<bool> m_lastInputs;
    // Replies to polls sent before the fleet link went off are not acted on.
    quint64 m_generation = 0;
};
