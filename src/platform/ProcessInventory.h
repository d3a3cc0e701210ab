#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// One user-space process, as much of it as a watcher needs to name and date it.
struct ProcessBrief {
    int32_t pid = 0;
    QString name;              // the kernel's short name, or the program name when that was cut
    int64_t startedAtSecs = 0;  // start time, whole seconds since 1970
};

// The processes of the machine with their command lines. Called from one thread at a time.
class ProcessInventory {
public:
    virtual ~ProcessInventory() = default;
    // Every process but kernel threads, in the table's order; nullopt when the table itself
    // cannot be listed.
    virtual std::optional<QList<ProcessBrief>> listProcesses() = 0;
    // The process's arguments, empty ones left out; nullopt when they cannot be read or there
    // are none.
    virtual std::optional<QStringList> arguments(int32_t pid) = 0;
};
