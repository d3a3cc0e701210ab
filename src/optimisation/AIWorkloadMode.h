#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class AppSettings;
class Clock;
class CloudSyncPause;
class IncidentLedger;
class MonitorState;
class Notifier;
class ProcessControl;

// Makes room while a local AI or developer tool runs: every 30 s it looks at the heaviest
// processes of the last sample; when an AI tool is among them it lowers the priority of known
// background competitors, asks the allocator to give memory back, pauses cloud sync, logs
// what it did and tells the user. Main thread only; start() is its Lifecycle entry.
class AIWorkloadMode final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    static constexpr double evaluateInterval = 30.0;
    static const QStringList& aiToolFragments();
    static const QStringList& competitorFragments();

    struct Collaborators {
        AppSettings& settings;
        MonitorState& monitor;
        IncidentLedger& incidents;
        ProcessControl& processes;
        Notifier& notifier;
        CloudSyncPause& cloud;
        // Asks the allocator to hand free memory back to the system.
        std::function<void()> relieveMemory;
        const Clock& clock;
        Scheduler& scheduler;
    };

    explicit AIWorkloadMode(Collaborators collaborators, QObject* parent = nullptr);
    static AIWorkloadMode& shared();

    // Schedules the 30 s evaluation and evaluates once at once; a second call does nothing.
    void start() override;

    void evaluate();
    // The first process of the last sample whose lower-cased name holds an AI-tool fragment.
    std::optional<QString> detectAITool() const;
    void activate(const QString& tool);
    void deactivate(const QString& reason);

    bool isActive() const { return m_isActive; }
    std::optional<QString> detectedAITool() const { return m_detectedAITool; }
    std::optional<QDateTime> lastActivation() const { return m_lastActivation; }
    std::optional<QDateTime> lastDeactivation() const { return m_lastDeactivation; }
    QStringList competitorsThrottledThisSession() const { return m_competitorsThrottled; }

    // The activation notice's body.
    static QString notificationBody(const QString& tool, int competitors);

Q_SIGNALS:
    void isActiveChanged(bool active);
    // Any published value changed.
    void changed();

private:
    void postActivationNotification(const QString& tool, int competitors);

    Collaborators m_c;
    WorkHandle m_refreshTimer;
    bool m_isActive = false;
    std::optional<QString> m_detectedAITool;
    std::optional<QDateTime> m_lastActivation;
    std::optional<QDateTime> m_lastDeactivation;
    QStringList m_competitorsThrottled;
};
