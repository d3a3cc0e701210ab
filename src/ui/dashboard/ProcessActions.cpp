#include "ui/dashboard/ProcessActions.h"

#include "core/Clock.h"
#include "core/MainThread.h"
#include "core/Models.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorState.h"
#include "monitoring/ProcessStopper.h"
#include "platform/ProcessControl.h"

ProcessActions::ProcessActions(ProcessControl& control, ProcessStopper& stopper, IncidentLedger& incidents,
                               MonitorState& monitor, const Clock& clock, QObject* parent)
    : QObject(parent), m_control(control), m_stopper(stopper), m_incidents(incidents), m_monitor(monitor),
      m_clock(clock)
{
}

void ProcessActions::post(const ActionRecord& record)
{
    // Queued on the monitor itself where it is an object, so the entry is not lost when the tab
    // that pressed the button goes first.
    auto* context = dynamic_cast<QObject*>(&m_monitor);
    MonitorState* monitor = &m_monitor;
    postTo(context ? context : this, [monitor, record] { monitor->logAction(record); });
}

bool ProcessActions::throttle(const ProcessInfoItem& process)
{
    if (process.isProtected) return false;
    // A refused change (one the kernel does not allow, a process that is gone) is not an action
    // taken. The user picked this very process, so it may be another user's.
    if (!m_control.lowerPriority({process.pid, process.startTime}, ProcessOwner::anyUser)) return false;
    m_incidents.recordIncident(process.name);
    const ActionRecord record = ActionRecord::make(ActionRecord::ActionType::processThrottled, process.name,
                                                   QStringLiteral("Manual throttle"), m_clock.now(), false);
    post(record);
    return true;
}

bool ProcessActions::kill(const ProcessInfoItem& process)
{
    if (process.isProtected) return false;
    if (!m_stopper.killProcess(process, ProcessOwner::anyUser)) return false;
    const ActionRecord record = ActionRecord::make(ActionRecord::ActionType::processKilled, process.name,
                                                   QStringLiteral("Manual kill"), m_clock.now(), false);
    post(record);
    return true;
}
