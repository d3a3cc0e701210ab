#include "platform/linux/ProcProcessInventory.h"

#include "platform/linux/ProcFiles.h"

#include <QFile>
#include <unistd.h>

namespace {
// Longer command lines are cut: enough for any flag a watcher looks for.
constexpr size_t commandLineLimit = 256 * 1024;
}  // namespace

ProcProcessInventory::ProcProcessInventory(const QString& procRoot)
    : m_root(QFile::encodeName(procRoot)), m_table(procRoot)
{
    const long ticks = ::sysconf(_SC_CLK_TCK);
    m_ticksPerSecond = ticks > 0 ? ticks : 100;
    // Kernel threads are only left out here, and a kernel thread stays one: a known one is read
    // again only now and then (its pid handed out anew is read at once).
    m_table.setKernelThreadRefresh(60'000'000'000);
}

int64_t ProcProcessInventory::bootTime()
{
    if (m_bootTime) return *m_bootTime;
    const QByteArray stat = ProcFiles::readSmall(m_root + "/stat", 1 << 20);
    for (const QByteArray& line : stat.split('\n')) {
        if (!line.startsWith("btime ")) continue;
        const char* p = line.constData() + 6;
        const char* end = line.constData() + line.size();
        ProcFiles::skipSpaces(p, end);
        uint64_t value = 0;
        if (ProcFiles::parseUnsigned(p, end, value) && value < uint64_t(INT64_MAX)) m_bootTime = int64_t(value);
        break;
    }
    return m_bootTime.value_or(0);
}

std::optional<QList<ProcessBrief>> ProcProcessInventory::listProcesses()
{
    if (!m_table.readProcesses(m_entries)) return std::nullopt;
    const int64_t boot = bootTime();
    QList<ProcessBrief> out;
    out.reserve(qsizetype(m_entries.size()));
    for (const ProcessEntry& entry : m_entries) {
        if (entry.isKernelThread) continue;
        out.append(ProcessBrief{.pid = entry.pid,
                                .name = m_table.displayName(entry),
                                .startedAtSecs = boot + int64_t(entry.startTime / uint64_t(m_ticksPerSecond))});
    }
    return out;
}

QStringList ProcProcessInventory::splitCommandLine(const QByteArray& cmdline)
{
    QStringList args;
    for (const QByteArray& part : cmdline.split('\0')) {
        if (!part.isEmpty()) args.append(QString::fromUtf8(part));
    }
    return args;
}

std::optional<QStringList> ProcProcessInventory::arguments(int32_t pid)
{
    if (pid <= 0) return std::nullopt;
    const QStringList args =
        splitCommandLine(ProcFiles::readSmall(m_root + '/' + QByteArray::number(pid) + "/cmdline", commandLineLimit));
    if (args.isEmpty()) return std::nullopt;
    return args;
}
