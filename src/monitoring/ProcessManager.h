#pragma once

#include "core/Result.h"
#include "core/Scheduler.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/ProcessStopper.h"

#include <QHash>
#include <QObject>

#include <memory>

class SerialQueue;

class ProcessControl;
struct ProcessInfoItem;

// Stops processes on request and counts, per process name, how often the application had to
// act on one. The counts live in "process_incidents.json" in the application's data folder.
class ProcessManager final : public QObject, public IncidentLedger, public ProcessStopper {
    Q_OBJECT
public:
    ~ProcessManager() override;
    ProcessManager(ProcessControl& control, Scheduler& scheduler, QObject* parent = nullptr);
    static ProcessManager& shared();

    // SIGTERM now and SIGKILL 3 s later if the process is still there, both through one
    // pidfd so a pid reused in between is never hit. A protected process, pid <= 1 and this
    // process are refused; a process that is not the one sampled any more is never signalled.
    ProcessStatus killProcess(const ProcessInfoItem& item, ProcessOwner owner) override;

    // Counts one incident (on the main thread, after the current work) and saves the file.
    void recordIncident(const QString& name) override;
    QList<QPair<QString, int>> sortedIncidents() const override;

    const QHash<QString, int>& processIncidentCounts() const { return m_counts; }
    static QString incidentsFilePath();

Q_SIGNALS:
    void processIncidentCountsChanged();

private:
    void load();
    void saveIncidents();

    ProcessControl& m_control;
    Scheduler& m_scheduler;
    QHash<QString, int> m_counts;
    // The incident file is written here, in order, never on the main thread; declared last so
    // it finishes its writes before the rest goes.
    std::unique_ptr<SerialQueue> m_writer;
};
