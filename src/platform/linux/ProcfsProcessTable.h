#pragma once

#include "platform/ProcessTable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <unordered_map>
#include <vector>

// The process table from <proc>: one read of <proc>/PID/stat per process into a reused buffer.
// The stat file of each process stays open from one reading to the next (within a share of the
// open-file limit), so a sample costs one read per process rather than open, read and close; a
// handle whose process has gone reads nothing and is opened afresh, so a reused pid is read as
// the new process. <proc>/PID/cmdline is read only for names the kernel cut at 15 bytes, cached
// by pid and start time. The folder itself is listed again only when <proc>/loadavg shows that
// a pid was handed out since the last listing; otherwise the processes listed then are read
// through their open stat files, and those that have ended drop out. Each entry carries the time
// its stat file was read.
class ProcfsProcessTable final : public ProcessTable {
public:
    // Kernel threads are listed but never acted on: each is read at most this often, and its
    // last reading (with the time it was taken) stands in between. A pid handed out since the
    // last listing is always read, so a process that took over an ended kernel thread's pid is
    // seen as what it is. Needs <proc>/loadavg; without it every reading reads every process.
    static constexpr uint64_t kernelThreadRefreshNs = 2'900'000'000;
    // 0 reads every kernel thread at every reading.
    void setKernelThreadRefresh(uint64_t ns) { m_kernelThreadRefreshNs = ns; }

    explicit ProcfsProcessTable(const QString& procRoot = QStringLiteral("/proc"));
    ~ProcfsProcessTable() override;

    bool readProcesses(std::vector<ProcessEntry>& out) override;
    QString displayName(const ProcessEntry& entry) override;

    // One stat line into `entry`; false when it is not a well-formed line for `pid`.
    static bool parseStat(int32_t pid, const char* text, size_t length, uint64_t nsPerTick, uint64_t pageSize,
                          ProcessEntry& entry);

    // Raises this process's soft open-file limit to its hard limit: a desktop session starts
    // applications at 1024, half of which does not hold the stat files of a busy machine's
    // table. Call it at start-up, before a table reads. Returns the soft limit then in force.
    static uint64_t raiseOpenFileLimit();
    // How many stat files all tables together may hold: half the soft open-file limit in force
    // when the first is opened (the rest is left to everything else), at most 16384.
    static long handleBudget();

    // Whether the stat file of `pid` is held open now.
    bool holdsStatFileOf(int32_t pid) const { return m_handles.count(pid) != 0; }

private:
    struct StatHandle {
        int fd = -1;
        uint64_t seen = 0;
        // A kernel thread's last reading, given again until it is the refresh interval old.
        std::optional<ProcessEntry> kernelThread;
    };
    ssize_t readStat(int dirFd, int32_t pid, const char* path);
    bool readEntry(int dirFd, int32_t pid, ProcessEntry& entry, uint64_t nowNs, bool mayBeNew);
    std::optional<int64_t> lastPidAllocated();
    void closeHandle(std::unordered_map<int32_t, StatHandle>::iterator it);

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
    std::unordered_map<int32_t, StatHandle> m_handles;
    // The last listing: its pids in order, whether each one's stat file stayed open, and the
    // last pid handed out when it was made.
    std::vector<int32_t> m_listed;
    bool m_listedAllHeld = false;
    std::optional<int64_t> m_listedLastPid;
    int m_loadavgFd = -1;
    uint64_t m_kernelThreadRefreshNs = kernelThreadRefreshNs;
};
