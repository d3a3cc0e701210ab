#pragma once

#include "platform/ProcessInventory.h"
#include "platform/linux/ProcfsProcessTable.h"

#include <QByteArray>
#include <vector>

// The process table from <proc>: names as the sampler shows them, start times from the stat
// line's start tick and the boot time in <proc>/stat, arguments from <proc>/PID/cmdline.
class ProcProcessInventory final : public ProcessInventory {
public:
    explicit ProcProcessInventory(const QString& procRoot = QStringLiteral("/proc"));

    std::optional<QList<ProcessBrief>> listProcesses() override;
    std::optional<QStringList> arguments(int32_t pid) override;

    // A cmdline file's arguments: split at zero bytes, empty ones left out, decoded as UTF-8
    // with invalid sequences replaced.
    static QStringList splitCommandLine(const QByteArray& cmdline);

private:
    int64_t bootTime();

    QByteArray m_root;
    ProcfsProcessTable m_table;
    std::vector<ProcessEntry> m_entries;
    std::optional<int64_t> m_bootTime;
    int64_t m_ticksPerSecond;
};
