#pragma once

// An engine over recording collaborators, virtual time and a main queue the test drains by
// hand (plain std::mutex, so ThreadSanitizer sees every hand-over).
#include "core/AppSettings.h"
#include "core/Executor.h"
#include "core/UserDefaults.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorFakes.h"
#include "optimisation/AIEngine.h"
#include "platform/ProcessControl.h"
#include "support/FakeMonitorState.h"
#include "support/ManualClock.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <deque>
#include <mutex>

namespace learning {

class MainQueue final : public Executor {
public:
    void async(std::function<void()> work) override
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    void drain()
    {
        for (;;) {
            std::function<void()> work;
            {
                std::lock_guard lock(m_mutex);
                if (m_work.empty()) return;
                work = std::move(m_work.front());
                m_work.pop_front();
            }
            work();
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
};

struct Ledger final : IncidentLedger {
    QStringList recorded;  // main thread
    QList<QPair<QString, int>> sorted;
    void recordIncident(const QString& name) override { recorded << name; }
    QList<QPair<QString, int>> sortedIncidents() const override { return sorted; }
};

inline ProcessInfoItem proc(int32_t pid, const char* name, double cpu, double memoryMB = 0, bool isProtected = false)
{
    return ProcessInfoItem{.pid = pid, .name = QString::fromUtf8(name), .cpuUsage = cpu, .memoryMB = memoryMB,
                           .isProtected = isProtected};
}

inline PerformanceSnapshot snap(double cpu, double pressure = 40, uint64_t diskUsed = 100, uint64_t diskTotal = 1000)
{
    PerformanceSnapshot s;
    s.cpuUsage = cpu;
    s.memoryPressure = pressure;
    s.memoryUsed = 8;
    s.memoryTotal = 16;
    s.diskUsed = diskUsed;
    s.diskTotal = diskTotal;
    return s;
}

struct EngineRig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    // Noon local time, so every sample of a short stream lands in one hour of the day.
    ManualClock clock{QDateTime(QDate(2026, 3, 2), QTime(12, 0), QTimeZone::systemTimeZone())};
    AppSettings settings{defaults, clock};
    FakeMonitorState monitor;
    Ledger ledger;
    RecordingProcessControl control;  // called on the engine's queue
    MainQueue main;
    int reliefRuns = 0;
    QSet<int32_t> sessionServices;  // what the session bus names as its own and the notification daemon
    std::function<void()> onRelief;  // what the relief does besides being counted
    std::unique_ptr<AIEngine> engine;

    QString folder;

    // The history files go to `aiFolder`, by default a fresh temporary one.
    explicit EngineRig(QString aiFolder = {}) : folder(std::move(aiFolder)) { start(); }

    QString aiDir() const { return folder.isEmpty() ? dir.filePath(QStringLiteral("AI")) : folder; }

    // A new engine over the same folder (a restart).
    void start()
    {
        engine.reset();
        engine = std::make_unique<AIEngine>(AIEngine::Collaborators{
            .settings = settings,
            .clock = clock,
            .monitor = monitor,
            .incidents = ledger,
            .processControl = control,
            .runMemoryRelief =
                [this] {
                    ++reliefRuns;
                    if (onRelief) onRelief();
                },
            .sessionServices = [this] { return sessionServices; },
            .mainQueue = &main,
            .dataDirectory = aiDir(),
        });
        main.drain();
    }

    void feed(const PerformanceSnapshot& s, const QList<ProcessInfoItem>& processes)
    {
        engine->submitSnapshot(s, processes);
    }
    // `count` samples, `step` apart in virtual time, then settle.
    void feedMany(int count, const PerformanceSnapshot& s, const QList<ProcessInfoItem>& processes,
                  std::chrono::milliseconds step = std::chrono::seconds(10))
    {
        for (int i = 0; i < count; ++i) {
            feed(s, processes);
            clock.advance(step);
        }
        settle();
    }
    void settle()
    {
        engine->waitForQueue();
        main.drain();
    }
    // Reads the queue's state safely.
    template <typename F>
    auto onQueue(F f)
    {
        decltype(f(std::declval<AIEngine::LearningState&>())) result{};
        engine->syncOnQueue([&] { result = f(engine->stateOnQueue()); });
        return result;
    }
    void withState(const std::function<void(AIEngine::LearningState&)>& f)
    {
        engine->syncOnQueue([&] { f(engine->stateOnQueue()); });
    }
    // Runs a rule on the queue with the context of a sample taken now.
    template <typename F>
    auto rule(F f, AIEngine::IngestContext context = {})
    {
        if (!context.now.isValid()) context.now = clock.now();
        decltype(f(*engine)) result{};
        engine->syncOnQueue([&] {
            engine->setContextOnQueue(context);
            result = f(*engine);
        });
        return result;
    }
};

}  // namespace learning
