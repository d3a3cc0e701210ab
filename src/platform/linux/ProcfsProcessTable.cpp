#include "platform/linux/ProcfsProcessTable.h"

#include "platform/linux/ProcFiles.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The kernel keeps 15 bytes of a program's name (16 with the terminator).
constexpr int kernelCommCut = 15;
constexpr int longNameLimit = 32;
constexpr uint64_t pfKthread = 0x00200000;
constexpr int32_t kthreaddPid = 2;

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

constexpr long maxHandles = 16384;

// Stat handles of all tables together stay within half the open-file limit, leaving the rest
// to everything else the application opens.
std::atomic<long> g_handlesHeld{0};

bool takeHandle()
{
    long held = g_handlesHeld.load();
    while (held < ProcfsProcessTable::handleBudget()) {
        if (g_handlesHeld.compare_exchange_weak(held, held + 1)) return true;
    }
    return false;
}

ssize_t readAt0(int fd, char* buffer, size_t capacity)
{
    ssize_t n;
    do {
        n = ::pread(fd, buffer, capacity, 0);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool parsePid(const char* name, int32_t& pid)
{
    int64_t v = 0;
    if (*name < '1' || *name > '9') return false;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > INT32_MAX) return false;
    }
    pid = int32_t(v);
    return true;
}

}  // namespace

uint64_t ProcfsProcessTable::raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : uint64_t(limit.rlim_cur);
}

long ProcfsProcessTable::handleBudget()
{
    static const long budget = [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 512L;
        if (limit.rlim_cur == RLIM_INFINITY) return maxHandles;
        return long(std::min<rlim_t>(limit.rlim_cur / 2, maxHandles));
    }();
    return budget;
}

ProcfsProcessTable::ProcfsProcessTable(const QString& procRoot)
    : m_root(QFile::encodeName(procRoot)), m_dirents(32768), m_stat(4096)
{
    const long ticks = ::sysconf(_SC_CLK_TCK);
    m_nsPerTick = ticks > 0 ? uint64_t(1000000000 / ticks) : 10000000;
    const long page = ::sysconf(_SC_PAGESIZE);
    m_pageSize = page > 0 ? uint64_t(page) : 4096;
}

ProcfsProcessTable::~ProcfsProcessTable()
{
    if (m_loadavgFd >= 0) ::close(m_loadavgFd);
    for (auto it = m_handles.begin(); it != m_handles.end();) {
        auto next = std::next(it);
        closeHandle(it);
        it = next;
    }
}

void ProcfsProcessTable::closeHandle(std::unordered_map<int32_t, StatHandle>::iterator it)
{
    ::close(it->second.fd);
    m_handles.erase(it);
    g_handlesHeld.fetch_sub(1);
}

ssize_t ProcfsProcessTable::readStat(int dirFd, int32_t pid, const char* path)
{
    auto it = m_handles.find(pid);
    if (it != m_handles.end()) {
        const ssize_t got = readAt0(it->second.fd, m_stat.data(), m_stat.size());
        if (got > 0) {
            it->second.seen = m_generation;
            return got;
        }
        // The process behind the handle is gone; the pid may already name another one.
        closeHandle(it);
    }
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    const ssize_t got = readAt0(fd, m_stat.data(), m_stat.size());
    if (got > 0 && takeHandle()) {
        m_handles.emplace(pid, StatHandle{fd, m_generation});
    } else {
        ::close(fd);
    }
    return got;
}

bool ProcfsProcessTable::parseStat(int32_t pid, const char* text, size_t length, uint64_t nsPerTick, uint64_t pageSize,
                                   ProcessEntry& entry)
{
    const char* end = text + length;
    // "PID (comm) S ...": the name may hold spaces and ')' itself, so it ends at the last ')'.
    const char* open = static_cast<const char*>(std::memchr(text, '(', length));
    if (!open) return false;
    const char* close = static_cast<const char*>(::memrchr(open, ')', size_t(end - open)));
    if (!close) return false;

    const char* p = text;
    uint64_t statPid = 0;
    if (!ProcFiles::parseUnsigned(p, open, statPid) || statPid != uint64_t(pid)) return false;

    const size_t commLength = std::min<size_t>(size_t(close - open - 1), ProcessEntry::maxCommLength);
    if (commLength == 0) return false;

    // Fields after the name, counted from 3 (state): ppid 4, flags 9, utime 14, stime 15,
    // nice 19, starttime 22, rss 24.
    p = close + 1;
    uint64_t utime = 0, stime = 0, startTime = 0, ppid = 0, flags = 0;
    int64_t rss = 0, nice = 0;
    for (int field = 3; field <= 24; ++field) {
        if (p >= end || *p != ' ') return false;
        ++p;
        const char* tokenStart = p;
        bool ok = true;
        switch (field) {
        case 4: ok = ProcFiles::parseUnsigned(p, end, ppid); break;
        case 9: ok = ProcFiles::parseUnsigned(p, end, flags); break;
        case 14: ok = ProcFiles::parseUnsigned(p, end, utime); break;
        case 19: ok = ProcFiles::parseSigned(p, end, nice); break;
        case 15: ok = ProcFiles::parseUnsigned(p, end, stime); break;
        case 22: ok = ProcFiles::parseUnsigned(p, end, startTime); break;
        case 24: ok = ProcFiles::parseSigned(p, end, rss); break;
        default:
            while (p < end && *p != ' ' && *p != '\n') ++p;
            ok = p > tokenStart;
        }
        if (!ok) return false;
    }

    entry.pid = pid;
    std::memcpy(entry.comm, open + 1, commLength);
    entry.comm[commLength] = '\0';
    entry.commLength = uint8_t(commLength);
    entry.startTime = startTime;
    const unsigned __int128 ns = (unsigned __int128)(utime + stime) * nsPerTick;
    entry.cpuTimeNs = ns > UINT64_MAX ? UINT64_MAX : uint64_t(ns);
    entry.residentBytes = rss > 0 ? uint64_t(rss) * pageSize : 0;
    entry.nice = int8_t(std::clamp<int64_t>(nice, -20, 19));
    entry.isKernelThread = (flags & pfKthread) != 0;
    entry.parentPid = ppid > uint64_t(INT32_MAX) ? 0 : int32_t(ppid);
    return true;
}

bool ProcfsProcessTable::readEntry(int dirFd, int32_t pid, ProcessEntry& entry, uint64_t nowNs, bool mayBeNew)
{
    // A pid handed out since the last listing may belong to a process that took it over from
    // an ended kernel thread: such a pid is always read.
    if (const auto held = m_handles.find(pid); !mayBeNew && held != m_handles.end() && held->second.kernelThread &&
                                               nowNs - held->second.kernelThread->readAtNs < m_kernelThreadRefreshNs) {
        held->second.seen = m_generation;
        entry = *held->second.kernelThread;
        return true;
    }
    // "<pid>/stat", written by hand: this runs for every process of every sample.
    char path[32];
    char digits[12];
    int count = 0;
    for (uint32_t v = uint32_t(pid); count == 0 || v != 0; v /= 10) digits[count++] = char('0' + v % 10);
    const int nameLength = count;
    for (int i = 0; i < count; ++i) path[i] = digits[count - 1 - i];
    std::memcpy(path + nameLength, "/stat", 6);
    // Gone since the listing, or not ours to read: left out.
    const ssize_t got = readStat(dirFd, pid, path);
    if (got <= 0) return false;
    if (!parseStat(pid, m_stat.data(), size_t(got), m_nsPerTick, m_pageSize, entry)) return false;
    // Kernels that do not report the flag still show a kernel thread as a command-less child
    // of kthreadd.
    if (!entry.isKernelThread && entry.parentPid == kthreaddPid) {
        std::memcpy(path + nameLength, "/cmdline", 9);
        char probe[1];
        entry.isKernelThread = ProcFiles::readInto(dirFd, path, probe, sizeof probe) == 0;
    }
    entry.readAtNs = nowNs;
    if (const auto held = m_handles.find(pid); held != m_handles.end()) {
        if (entry.isKernelThread) held->second.kernelThread = entry;
        else held->second.kernelThread.reset();
    }
    return true;
}

std::optional<int64_t> ProcfsProcessTable::lastPidAllocated()
{
    if (m_loadavgFd < 0) {
        m_loadavgFd = ::open((m_root + "/loadavg").constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (m_loadavgFd < 0) return std::nullopt;
    }
    char text[128];
    const ssize_t got = readAt0(m_loadavgFd, text, sizeof text);
    if (got <= 0) return std::nullopt;
    // "0.00 0.01 0.05 1/123 4567\n": the last field is the last pid handed out.
    const char* end = text + got;
    while (end > text && (end[-1] == '\n' || end[-1] == ' ')) --end;
    const char* start = end;
    while (start > text && start[-1] >= '0' && start[-1] <= '9') --start;
    if (start == end || start == text || start[-1] != ' ' || end - start > 10) return std::nullopt;
    int64_t pid = 0;
    for (const char* p = start; p < end; ++p) pid = pid * 10 + (*p - '0');
    return pid;
}

bool ProcfsProcessTable::readProcesses(std::vector<ProcessEntry>& out)
{
    out.clear();
    ++m_generation;
    const int dirFd = ::open(m_root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;

    ProcessEntry entry;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowNs = uint64_t(now.tv_sec) * 1'000'000'000u + uint64_t(now.tv_nsec);
    // No pid handed out since the last listing means no process was started: the processes
    // listed then, less those that have ended, are all there is, and each one's stat file is
    // already open. The directory is listed again only when something new may be there.
    const std::optional<int64_t> lastPid = lastPidAllocated();
    const std::optional<int64_t> before = m_listedLastPid;
    const bool unchanged = lastPid && before && *lastPid == *before && m_listedAllHeld;
    // Pids handed out since the last listing: those after the one handed out then, up to the
    // last one now (past the wrap back to low pids, when it wrapped). Without both, any pid.
    const auto mayBeNew = [&](int32_t pid) {
        if (!lastPid || !before) return true;
        if (*lastPid >= *before) return pid > *before && pid <= *lastPid;
        return pid > *before || pid <= *lastPid;
    };
    if (unchanged) {
        size_t kept = 0;
        for (int32_t pid : m_listed) {
            if (!readEntry(dirFd, pid, entry, nowNs, false)) continue;  // ended
            out.push_back(entry);
            m_listed[kept++] = pid;
            if (!m_handles.count(pid)) m_listedAllHeld = false;
        }
        m_listed.resize(kept);
    } else {
        m_listed.clear();
        m_listedAllHeld = true;
        for (;;) {
            const long n = ::syscall(SYS_getdents64, dirFd, m_dirents.data(), m_dirents.size());
            if (n <= 0) break;
            for (long offset = 0; offset < n;) {
                const auto* d = reinterpret_cast<const LinuxDirent64*>(m_dirents.data() + offset);
                offset += d->d_reclen;
                int32_t pid = 0;
                if (!parsePid(d->d_name, pid)) continue;
                if (!readEntry(dirFd, pid, entry, nowNs, mayBeNew(pid))) continue;
                out.push_back(entry);
                m_listed.push_back(pid);
                if (!m_handles.count(pid)) m_listedAllHeld = false;
            }
        }
        m_listedLastPid = lastPid;
    }
    ::close(dirFd);

    // Handles of processes no longer listed (or no longer there) are closed.
    for (auto it = m_handles.begin(); it != m_handles.end();) {
        auto next = std::next(it);
        if (it->second.seen != m_generation) closeHandle(it);
        it = next;
    }

    // Names of processes that are gone are dropped now and then, so the cache stays small.
    if (m_names.size() > 512) {
        for (auto it = m_names.begin(); it != m_names.end();) {
            it = m_generation - it->lastUsed > 30 ? m_names.erase(it) : std::next(it);
        }
    }
    return true;
}

QString ProcfsProcessTable::displayName(const ProcessEntry& entry)
{
    const QString comm = QString::fromUtf8(entry.comm, entry.commLength);
    if (entry.commLength != kernelCommCut) return comm;

    auto it = m_names.find(entry.pid);
    if (it != m_names.end() && it->startTime == entry.startTime) {
        it->lastUsed = m_generation;
        return it->name;
    }

    QString name = comm;
    const QByteArray cmdline = ProcFiles::readSmall(m_root + '/' + QByteArray::number(entry.pid) + "/cmdline", 4096);
    const qsizetype argv0End = cmdline.indexOf('\0');
    const QByteArray argv0 = argv0End < 0 ? cmdline : cmdline.left(argv0End);
    const QByteArray base = argv0.mid(argv0.lastIndexOf('/') + 1);
    if (base.size() > kernelCommCut && base.startsWith(QByteArray(entry.comm, entry.commLength))) {
        name = QString::fromUtf8(base).left(longNameLimit);
    }
    m_names.insert(entry.pid, CachedName{entry.startTime, name, m_generation});
    return name;
}
