#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// One running AI process.
struct AIProcessInfo {
    int32_t id = 0;     // the pid
    QString name;       // the process name, in its own letter case
    QString command;    // the arguments joined by blanks, key-like values redacted; `name` when unreadable
    QDateTime startedAt;  // whole seconds

    friend bool operator==(const AIProcessInfo&, const AIProcessInfo&) = default;
};
