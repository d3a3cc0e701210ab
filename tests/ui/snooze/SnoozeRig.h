#pragma once

// What the alert window's tests share: the guard's side of the window as a recorder, an alarm
// that counts, and a pactl on PATH's place that keeps the volume in a file and logs every run.
#include "core/Log.h"
#include "platform/AlarmSound.h"
#include "platform/linux/PactlOutputVolume.h"
#include "support/ManualClock.h"
#include "ui/snooze/SnoozeAlertWindow.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

struct RecordingGuard final : SnoozePauseControl {
    qint64 level = 0;
    QList<int> compromises;
    int overrides = 0;
    void grantCompromise(int minutes) override { compromises << minutes; }
    void emergencyOverride() override { ++overrides; }
    qint64 escalationLevel() const override { return level; }
};

struct CountingAlarm final : AlarmSound {
    int plays = 0;
    int stops = 0;
    void play() override { ++plays; }
    void stop() override { ++stops; }
};

// A stand-in pactl: a shell script that appends its arguments to a log and prints the volume
// kept in a file (exit 1, as with no sound server, when there is none).
struct FakePactl {
    QTemporaryDir dir;

    FakePactl()
    {
        QFile script(program());
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\n"
                                    "echo \"$*\" >> '%1/calls'\n"
                                    "case \"$1\" in\n"
                                    "  get-sink-volume)\n"
                                    "    [ -f '%1/delay' ] && sleep \"$(cat '%1/delay')\"\n"
                                    "    [ -f '%1/volume' ] || exit 1\n"
                                    "    cat '%1/volume' ;;\n"
                                    "esac\n")
                         .arg(dir.path())
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString program() const { return dir.filePath(QStringLiteral("pactl")); }
    void setVolume(const QString& percentages)
    {
        QFile f(dir.filePath(QStringLiteral("volume")));
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("Volume: front-left: 19661 /  %1 / -31.37 dB\n        balance 0.00\n")
                    .arg(percentages)
                    .toUtf8());
    }
    void setDelay(const QString& seconds)
    {
        QFile f(dir.filePath(QStringLiteral("delay")));
        f.open(QIODevice::WriteOnly);
        f.write(seconds.toUtf8());
    }
    QStringList calls() const
    {
        QFile f(dir.filePath(QStringLiteral("calls")));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

struct AlertRig {
    RecordingGuard guard;
    CountingAlarm alarm;
    FakePactl pactl;
    PactlOutputVolume volume{pactl.program()};
    ManualClock clock;
    QStringList logged;
    std::unique_ptr<SnoozeAlertWindow> window;

    AlertRig(BlackoutVerdictSource& verdicts, std::chrono::milliseconds alarmInterval = std::chrono::seconds(4),
             std::chrono::milliseconds autoDismiss = std::chrono::seconds(60))
    {
        Log::setSink([this](const QString& line) { logged << line; });
        window = std::make_unique<SnoozeAlertWindow>(SnoozeAlertWindow::Collaborators{
            .guard = guard,
            .verdicts = verdicts,
            .volume = volume,
            .alarm = alarm,
            .clock = clock,
            .addressee = QStringLiteral("Ada"),
            .alarmInterval = alarmInterval,
            .autoDismissAfter = autoDismiss,
            .grabRetry = std::chrono::milliseconds(10),
            .grabAttempts = 5,
        });
    }
    ~AlertRig()
    {
        window.reset();
        Log::setSink({});
    }
};

// Answers every question with a verdict the test sets, from a thread of its own, and keeps
// the texts it was asked.
struct ScriptedCoach final : BlackoutVerdictSource {
    BlackoutVerdict answer;
    QStringList texts;
    QStringList reasons;
    std::vector<Completion> pending;
    void ask(const QString& text, const QString& reason, Completion completion) override
    {
        texts << text;
        reasons << reason;
        pending.push_back(std::move(completion));
    }
};
