#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <sys/types.h>

// What is needed to start a running desktop program again after stopping it: its command line
// and folder, or the systemd user unit that runs it.
struct RunningProgram {
    int32_t pid = 0;
    uint64_t startTime = 0;  // field 22 of /proc/PID/stat: with the pid, names this process
    QStringList argv;
    QString workingDirectory;
    std::optional<QString> userUnit;
};

namespace ProgramRestart {

// The user unit of a process from its /proc/PID/cgroup text: the last "*.service" of the
// path below the user manager ("user@UID.service"), when there is one.
std::optional<QString> userUnitFromCgroup(const QString& cgroupText);

// The processes of `uid` whose kernel name is exactly `name`, in pid order.
QList<RunningProgram> findOwn(const QString& procRoot, const QString& name, uid_t uid);

}  // namespace ProgramRestart
