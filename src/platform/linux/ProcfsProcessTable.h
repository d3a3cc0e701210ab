#pragma once

#include "platform/ProcessTable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <vector>

// The process table from <proc>: one open/read/close of <proc>/PID/stat per process into a
// reused buffer; <proc>/PID/cmdline only for names the kernel cut at 15 bytes, cached by pid
// and start time.
class ProcfsProcessTable final : public ProcessTable {
public:
    explicit ProcfsProcessTable(const QString& procRoot = QStringLiteral("/proc"));
    ~ProcfsProcessTable() override;

    bool readProcesses(std::vector<ProcessEntry>& out) override;
    QString displayName(const ProcessEntry& entry) override;

    // One stat line into `entry`; false when it is not a well-formed line for `pid`.
    static bool parseStat(int32_t pid, const char* text, size_t length, uint64_t nsPerTick, uint64_t pageSize,
                          ProcessEntry& entry);

private:
    struct CachedName {
        uint64_t startTime = 0;
        QString name;
        uint64_t lastUsed = 0;
    };

    QByteArray m_root;
    uint64_t m_nsPerTick;
    uint64_t m_pageSize;
    std::vector<char> m_dirents;
    std::vector<char> m_stat;
    QHash<int32_t, CachedName> m_names;
    uint64_t m_generation = 0;
};
