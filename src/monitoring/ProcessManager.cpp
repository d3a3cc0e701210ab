#include "monitoring/ProcessManager.h"

#include "core/SerialQueue.h"

#include "core/Json.h"
#include "core/MainThread.h"
#include "core/Models.h"
#include "core/Paths.h"
#include "core/WriteFailureReporter.h"
#include "platform/ProcessControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <limits>

using namespace std::chrono_literals;

ProcessManager::ProcessManager(ProcessControl& control, Scheduler& scheduler, QObject* parent)
    : QObject(parent),
      m_control(control),
      m_scheduler(scheduler),
      m_writer(std::make_unique<SerialQueue>(QStringLiteral("app.veltranmoor.incidents")))
{
    load();
}

QString ProcessManager::incidentsFilePath()
{
    const QString dir = Paths::appSupportDir();
    QDir().mkpath(dir);
    return dir + QStringLiteral("/process_incidents.json");
}

void ProcessManager::load()
{
    const auto doc = Json::readFile(incidentsFilePath());
    if (!doc || !doc->isObject()) return;
    const QJsonObject object = doc->object();
    QHash<QString, int> counts;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonValue v = it.value();
        if (!Json::isInteger(v)) return;
        const double d = v.toDouble();
        if (d < std::numeric_limits<int>::min() || d > std::numeric_limits<int>::max()) return;
        counts.insert(it.key(), int(d));
    }
    m_counts = counts;
}

ProcessManager::~ProcessManager() = default;

void ProcessManager::saveIncidents()
{
    QJsonObject object;
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it) object.insert(it.key(), it.value());
    // Written atomically: a crash mid-write leaves the old counts, not a torn file. Even making
    // the folder waits on a busy disk, so all of it happens on the writer.
    m_writer->async([document = QJsonDocument(object)] {
        const QString path = incidentsFilePath();
        WriteFailureReporter::check(path, Json::writeFileAtomically(path, document));
    });
}

void ProcessManager::recordIncident(const QString& name)
{
    postTo(this, [this, name] {
        int& count = m_counts[name];
        if (count < std::numeric_limits<int>::max()) ++count;
        Q_EMIT processIncidentCountsChanged();
        saveIncidents();
    });
}

QList<QPair<QString, int>> ProcessManager::sortedIncidents() const
{
    QList<QPair<QString, int>> pairs;
    pairs.reserve(m_counts.size());
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it) pairs.append({it.key(), it.value()});
    std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        return a.first < b.first;
    });
    return pairs;
}

ProcessStatus ProcessManager::killProcess(const ProcessInfoItem& item, ProcessOwner owner)
{
    if (item.isProtected) return ProcessStatus::failed(item.name + QStringLiteral(" is protected"));
    // The init process, kernel threads and this application are protected whatever their names.
    if (item.pid <= 1 || item.isKernelThread || item.pid == QCoreApplication::applicationPid()) {
        return ProcessStatus::failed(QStringLiteral("process %1 may not be stopped").arg(item.pid));
    }
    const OpenedProcess opened = m_control.openProcess({item.pid, item.startTime}, owner);
    ProcessStatus result = opened.status;
    if (opened) {
        std::shared_ptr<ProcessHandle> handle = opened.handle;
        result = handle->sendSignal(SIGTERM);
        if (result) {
            // Asked from a worker too (the assistant stops processes off the main thread); the
            // timer belongs to the main thread.
            auto followUp = [this, handle] {
                m_scheduler.after(3s, this, [handle] {
                    if (handle->isRunning()) (void)handle->sendSignal(SIGKILL);
                });
            };
            if (QThread::currentThread() == thread()) followUp();
            else postTo(this, followUp);
        }
    }
    // A refused or failed signal still counts (the application had to try); a process that has
    // gone, or is not ours to stop, counts nothing, as nothing happened to it.
    if (!result.leftAlone()) recordIncident(item.name);
    return result;
}
