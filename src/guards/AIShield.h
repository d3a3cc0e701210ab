#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"
#include "guards/AIShieldStatus.h"
#include "guards/ShieldLog.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <chrono>
#include <memory>

class Clock;
class Executor;
class ProcessInventory;

// Watches the processes of AI tools: every 10 s it lists the processes whose name holds one of
// the AI signatures, logs their starts and ends with their command lines in ai-shield.log, and
// raises a suspicious event once for each such process that runs "sudo". Starting and stopping
// it starts and stops the boundary watch as well.
//
// The table is read and the log written on the shield's serial queue; the published values
// change on the main thread, one turn after the reading.
class AIShield final : public QObject, public Lifecycle, public AIShieldStatus {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds pollInterval{10};

    struct Collaborators {
        ProcessInventory& inventory;  // used only on `queue`
        Executor& queue;              // serial: polls and log lines in order
        Scheduler& scheduler;
        const Clock& clock;
        QString logPath;
    };

    explicit AIShield(Collaborators c, QObject* parent = nullptr);
    ~AIShield() override;
    static AIShield& shared();

    // Lower-case fragments that mark an AI process, in matching order.
    static const QStringList& aiSignatures();
    static bool matchesSignature(const QString& processName);
    // "sudo" as a whole argument (or a program path ending in "/sudo"), in any letter case.
    static bool invokesSudo(const QStringList& arguments);

    // The boundary watch, started and stopped with this one (one main-loop turn later).
    void setBoundaryWatch(Lifecycle* watch) { m_boundaryWatch = watch; }

    void start() override;
    void stop() override;
    // One poll; the timer's handler.
    void diffAndLogProcesses();

    void raiseShieldAlert(const QString& message);
    void appendShieldLog(const QString& message) { m_log.append(message); }

    bool isRunning() const { return m_isRunning; }
    QList<AIProcessInfo> processes() const override { return m_processes; }
    std::optional<QString> lastSuspiciousEvent() const override { return m_lastSuspiciousEvent; }
    std::optional<QDateTime> lastSuspiciousAt() const override { return m_lastSuspiciousAt; }
    QString logPath() const override { return m_log.path(); }

Q_SIGNALS:
    void isRunningChanged();
    void processesChanged();
    // lastSuspiciousEvent and lastSuspiciousAt were set (Work Guard sweeps on it).
    void suspiciousEventRaised();

private:
    struct PollState;
    void publish(QList<AIProcessInfo> processes, QStringList sudoMessages);
    void setSuspicious(const QString& message);

    Collaborators m_c;
    ShieldLog m_log;
    // Owned by the queue's work: what the previous poll saw.
    std::shared_ptr<PollState> m_poll;
    WorkHandle m_pollTimer;
    Lifecycle* m_boundaryWatch = nullptr;

    bool m_isRunning = false;
    QList<AIProcessInfo> m_processes;
    std::optional<QString> m_lastSuspiciousEvent;
    std::optional<QDateTime> m_lastSuspiciousAt;
};
