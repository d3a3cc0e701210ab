#pragma once

#include <QObject>

class Clock;
class IncidentLedger;
class MonitorState;
class ProcessControl;
class ProcessStopper;
struct ActionRecord;
struct ProcessInfoItem;

// The Processes tab's two buttons: lower a process's priority or stop it, at once. The history
// gets an entry only for what really happened, posted after the incident count so the count
// changes first.
class ProcessActions : public QObject {
    Q_OBJECT
public:
    ProcessActions(ProcessControl& control, ProcessStopper& stopper, IncidentLedger& incidents, MonitorState& monitor,
                   const Clock& clock, QObject* parent = nullptr);

    // True when the priority was lowered. A protected process is left alone.
    bool throttle(const ProcessInfoItem& process);
    // True when the stop signal was delivered. A protected process is left alone.
    bool kill(const ProcessInfoItem& process);

private:
    void post(const ActionRecord& record);

    ProcessControl& m_control;
    ProcessStopper& m_stopper;
    IncidentLedger& m_incidents;
    MonitorState& m_monitor;
    const Clock& m_clock;
};
