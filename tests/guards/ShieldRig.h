#pragma once

#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "guards/AIShield.h"
#include "guards/AIShieldV1.h"
#include "guards/SnoozeTriggerSource.h"
#include "monitoring/Notifier.h"
#include "platform/OpenFilesReader.h"
#include "platform/ProcessInventory.h"
#include "support/InlineExecutor.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

// A process table the test writes: names, start times and arguments per pid.
struct ScriptedInventory final : ProcessInventory {
    struct Row {
        ProcessBrief brief;
        std::optional<QStringList> args;
    };
    QList<Row> rows;
    bool unreadable = false;

    std::optional<QList<ProcessBrief>> listProcesses() override
    {
        if (unreadable) return std::nullopt;
        QList<ProcessBrief> out;
        for (const Row& r : rows) out.append(r.brief);
        return out;
    }
    std::optional<QStringList> arguments(int32_t pid) override
    {
        for (const Row& r : rows) {
            if (r.brief.pid == pid) return r.args;
        }
        return std::nullopt;
    }
    void add(int32_t pid, const QString& name, std::optional<QStringList> args, int64_t started = 1'700'000'000)
    {
        rows.append({ProcessBrief{pid, name, started}, std::move(args)});
    }
    void remove(int32_t pid)
    {
        rows.removeIf([pid](const Row& r) { return r.brief.pid == pid; });
    }
};

// Open files and endpoints in the tool's field form, per pid.
struct ScriptedFiles final : OpenFilesReader {
    QHash<int32_t, QString> files;
    QHash<int32_t, QString> endpoints;
    QList<int32_t> asked;
    QString openFilesFields(int32_t pid) override
    {
        asked.append(pid);
        return files.value(pid);
    }
    QString endpointFields(int32_t pid) override { return endpoints.value(pid); }
};

struct RecordingNotifier final : Notifier {
    struct Notice {
        QString id, title, body;
    };
    QList<Notice> notices;
    void notifyProcessThrottled(const QString&, double) override {}
    void notifyEmergencyCleanup(double, std::optional<double>) override {}
    void notifyLowDisk(double, std::optional<double>) override {}
    void notifyLowRootDisk(double) override {}
    void notifyHealthWarning(int64_t) override {}
    void notify(const QString& title, const QString& body) override { notices.append({QString(), title, body}); }
    void notifyCleanupComplete(const QString&) override {}
    void notifyBoundaryBreach(const QString& id, const QString& title, const QString& body) override
    {
        notices.append({id, title, body});
    }
};

struct ScriptedSnooze final : SnoozeTriggerSource {
    std::optional<QDateTime> value;
    QHash<int, Observer> observers;
    int last = 0;
    std::optional<QDateTime> lastTriggerAt() const override { return value; }
    int observeLastTriggerAt(Observer observer) override
    {
        observer(value);
        observers.insert(++last, std::move(observer));
        return last;
    }
    void unobserve(int token) override { observers.remove(token); }
    void fire(std::optional<QDateTime> at)
    {
        value = at;
        for (const auto& o : std::as_const(observers)) o(value);
    }
};

inline QStringList readLogLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The messages of the log, without their time stamps.
inline QStringList logMessages(const QString& path)
{
    QStringList out;
    for (const QString& line : readLogLines(path)) out.append(line.mid(line.indexOf(QStringLiteral("] ")) + 2));
    return out;
}

// The process watch and the boundary watch on scripted sources, inline, under virtual time.
struct ShieldRig {
    QTemporaryDir dir;
    ManualClock clock;
    ManualScheduler scheduler{clock};
    UserDefaults defaults{dir.path() + QStringLiteral("/settings.json")};
    AppSettings settings{defaults, clock};
    InlineExecutor inline_;
    ScriptedInventory inventory;
    ScriptedFiles files;
    RecordingNotifier notifier;
    ScriptedSnooze snooze;
    QString logPath = dir.path() + QStringLiteral("/data/ai-shield.log");
    AIShield shield{{.inventory = inventory, .queue = inline_, .scheduler = scheduler, .clock = clock, .logPath = logPath}};
    AIShieldV1 boundary{{.shield = shield,
                         .settings = settings,
                         .reader = files,
                         .worker = inline_,
                         .notifier = notifier,
                         .snooze = snooze,
                         .scheduler = scheduler,
                         .clock = clock}};

    // Runs what was posted to the main loop, and what that posted in turn.
    void settle()
    {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    void poll()
    {
        shield.diffAndLogProcesses();
        settle();
    }
    void scan()
    {
        boundary.scanOpenFilesAndEndpoints();
        settle();
    }
    QStringList log() const { return logMessages(logPath); }
};
