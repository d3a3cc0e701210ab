#pragma once

// A process and all its descendants as /proc shows them, followed through a measuring window
// the way top counts a program: CPU time of every process of the tree, with what its exited
// children left in cutime/cstime, and the wake-ups and context switches of every thread. A
// wake-up is a voluntary switch: the thread slept (in poll, on a lock, in a read) and something
// woke it. An involuntary switch is the scheduler taking the processor from a thread that was
// running, as when the X server it just wrote a frame to runs on the same core: a context
// switch, but no wake-up.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>
#include <dirent.h>
#include <map>
#include <set>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace bench {

inline QByteArray slurp(const QByteArray& path)
{
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline long statusField(const QByteArray& status, const char* key)
{
    const qsizetype at = status.indexOf(key);
    if (at < 0) return -1;
    const qsizetype end = status.indexOf('\n', at);
    const qsizetype from = at + qsizetype(std::strlen(key));
    return status.mid(from, end - from).trimmed().split(' ').value(0).toLong();
}

inline std::vector<long> numericEntries(const QByteArray& dir)
{
    std::vector<long> out;
    if (DIR* d = ::opendir(dir.constData())) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] >= '1' && e->d_name[0] <= '9') out.push_back(std::atol(e->d_name));
        }
        ::closedir(d);
    }
    return out;
}

// `pid` and every process below it, found through each thread's children list.
inline std::vector<long> treeOf(long pid)
{
    std::vector<long> tree{pid};
    std::set<long> seen{pid};
    for (size_t i = 0; i < tree.size(); ++i) {
        const QByteArray base = "/proc/" + QByteArray::number(qlonglong(tree[i])) + "/task/";
        for (long tid : numericEntries(base)) {
            const QByteArray list = slurp(base + QByteArray::number(qlonglong(tid)) + "/children");
            for (const QByteArray& child : list.split(' ')) {
                const long c = child.trimmed().toLong();
                if (c > 0 && seen.insert(c).second) tree.push_back(c);
            }
        }
    }
    return tree;
}

struct TreeReading {
    bool ok = false;
    double cpuSeconds = 0;    // utime + stime + cutime + cstime of every process of the tree
    double childSeconds = 0;  // the part below the root: its descendants, live and exited
    double rssMiB = 0;        // of the root process
    int processes = 0;
    struct Switches {
        long voluntary = 0, all = 0;
    };
    std::map<long, Switches> switchesByThread;  // tid -> voluntary, voluntary + involuntary
};

inline TreeReading readTree(long root)
{
    TreeReading r;
    const double tick = double(::sysconf(_SC_CLK_TCK));
    for (long pid : treeOf(root)) {
        const QByteArray base = "/proc/" + QByteArray::number(qlonglong(pid));
        const QByteArray stat = slurp(base + "/stat");
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0) {
            if (pid == root) return r;
            continue;
        }
        // Fields after the name, numbered from 3 (state): utime is 14, stime 15, cutime 16, cstime 17.
        const QList<QByteArray> f = stat.mid(close + 2).split(' ');
        if (f.size() < 15) continue;
        const double own = (f[11].toDouble() + f[12].toDouble()) / tick;
        const double reaped = (f[13].toDouble() + f[14].toDouble()) / tick;
        r.cpuSeconds += own + reaped;
        r.childSeconds += pid == root ? reaped : own + reaped;
        ++r.processes;
        if (pid == root) r.rssMiB = double(statusField(slurp(base + "/status"), "VmRSS:")) / 1024.0;
        for (long tid : numericEntries(base + "/task/")) {
            const QByteArray s = slurp(base + "/task/" + QByteArray::number(qlonglong(tid)) + "/status");
            const long v = statusField(s, "voluntary_ctxt_switches:");
            const long n = statusField(s, "nonvoluntary_ctxt_switches:");
            if (v >= 0 && n >= 0) r.switchesByThread[tid] = {v, v + n};
        }
    }
    r.ok = true;
    return r;
}

// Follows one tree through the window, a look each second, so that switches of threads and
// processes that come and go within it (a thread pool's workers, a tool run) are counted too.
struct TreeTracker {
    pid_t pid = -1;
    TreeReading first;
    TreeReading last;
    std::map<long, TreeReading::Switches> firstSeen;
    std::map<long, TreeReading::Switches> lastSeen;
    int mostProcesses = 0;

    void start()
    {
        first = last = readTree(pid);
        firstSeen = lastSeen = first.switchesByThread;
        mostProcesses = first.processes;
    }
    void look()
    {
        const TreeReading now = readTree(pid);
        if (!now.ok) return;
        last = now;
        mostProcesses = std::max(mostProcesses, now.processes);
        for (const auto& [tid, n] : now.switchesByThread) {
            if (!firstSeen.count(tid)) firstSeen[tid] = {};  // born inside the window
            lastSeen[tid] = n;
        }
    }
    double cpuSeconds() const { return last.cpuSeconds - first.cpuSeconds; }
    double childSeconds() const { return last.childSeconds - first.childSeconds; }
    long wakeups() const
    {
        long total = 0;
        for (const auto& [tid, n] : lastSeen) total += n.voluntary - firstSeen.at(tid).voluntary;
        return total;
    }
    long switches() const
    {
        long total = 0;
        for (const auto& [tid, n] : lastSeen) total += n.all - firstSeen.at(tid).all;
        return total;
    }
};

}  // namespace bench
