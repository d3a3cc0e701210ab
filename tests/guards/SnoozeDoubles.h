#pragma once

#include "guards/SnoozeTypes.h"

#include <QStringList>

// A watcher the test drives by hand: start and stop follow `grants`, and its findings are
// emitted on the same typed signals the real watchers use.
class ScriptedSnoozeWatcher final : public SnoozeWatcher {
    Q_OBJECT
public:
    using SnoozeWatcher::SnoozeWatcher;
    // Whether start() gets to run (false: the permission is missing).
    bool grants = true;
    int starts = 0;
    int stops = 0;

    void start() override
    {
        ++starts;
        setState(grants, !grants);
    }
    void stop() override
    {
        ++stops;
        setState(false, m_denied);
    }
    bool isRunning() const override { return m_running; }
    bool permissionDenied() const override { return m_denied; }

    void setState(bool running, bool denied)
    {
        m_running = running;
        Q_EMIT isRunningChanged(running);
        m_denied = denied;
        Q_EMIT permissionDeniedChanged(denied);
    }

Q_SIGNALS:
    void eventOccurred(const DrowsyEvent& event);
    void eventOccurred(const StuckKeyEvent& event);

private:
    bool m_running = false;
    bool m_denied = false;
};

// The alert window as a journal of what it was asked to do.
class RecordingAlert final : public SnoozeAlertPresenter {
public:
    QStringList calls;
    void show(const QString& reason, int level) override { calls << QStringLiteral("show %1 %2").arg(level).arg(reason); }
    void dismiss() override { calls << QStringLiteral("dismiss"); }
};
