#pragma once

#include "core/Scheduler.h"
#include "guards/SnoozeTypes.h"
#include "platform/KeyEventSource.h"

#include <QDateTime>
#include <QList>

#include <map>
#include <optional>

class Clock;

// Listens to the whole keyboard for the two signs of a dozing typist: a letter key held down
// for 3 s or more (released on the user's behalf) and a key-mash burst of many letter
// key-downs over several letters within 3 s. Findings go out on eventOccurred; a burst is sent
// with keycode -1 and the burst window as heldFor.
class StuckKeyWatcher final : public SnoozeWatcher {
    Q_OBJECT
public:
    struct Tuning {
        double stuckThresholdSeconds = 3.0;
        int burstThreshold = 45;
        double burstWindow = 3.0;
        int burstMinUniqueKeys = 6;
        double rebounceSeconds = 60.0;
    };
    static constexpr std::chrono::milliseconds pollInterval{250};
    static constexpr std::chrono::milliseconds trustPollInterval{2000};

    StuckKeyWatcher(KeyEventSource& source, const Clock& clock, Scheduler& scheduler, QObject* parent = nullptr);
    StuckKeyWatcher(KeyEventSource& source, const Clock& clock, Scheduler& scheduler, Tuning tuning,
                    QObject* parent = nullptr);
    ~StuckKeyWatcher() override;

    void start() override;
    void stop() override;
    bool isRunning() const override { return m_isRunning; }
    bool permissionDenied() const override { return m_permissionDenied; }
    const Tuning& tuning() const { return m_tuning; }

    // Timer handlers and the listener's work, public so tests can drive them.
    void startTrustPoll();
    void trustPollTick();
    void handleTapEvent(const KeyEventSource::KeyEvent& event);
    void pollHeldKeys();
    void checkBurst(qint64 keycode);

    // Whether the held-key poll is scheduled (only while a watched key is down).
    bool isPolling() const { return m_pollTimer != nullptr; }
    bool isTrustPolling() const { return m_trustPollTimer != nullptr; }

Q_SIGNALS:
    void eventOccurred(const StuckKeyEvent& event);

private:
    void setRunning(bool running);
    void setPermissionDenied(bool denied);
    void updatePoll();
    void cancelTrustPoll();

    KeyEventSource& m_source;
    const Clock& m_clock;
    Scheduler& m_scheduler;
    Tuning m_tuning;

    bool m_isRunning = false;
    bool m_permissionDenied = false;
    bool m_installed = false;
    bool m_unavailableSaid = false;
    std::map<qint64, QDateTime> m_heldKeys;
    std::map<qint64, QString> m_keyLabels;  // of the held keys
    std::map<qint64, QDateTime> m_lastStuckFired;
    struct KeyDown {
        QDateTime at;
        qint64 code;
    };
    QList<KeyDown> m_recentKeyDowns;
    std::optional<QDateTime> m_lastBurstFired;
    bool m_commandDown = false;
    WorkHandle m_pollTimer;
    WorkHandle m_trustPollTimer;
};
