#include "platform/linux/ProcHostCpuSource.h"

#include "platform/linux/ProcFiles.h"

#include <QFile>
#include <fcntl.h>

ProcHostCpuSource::ProcHostCpuSource(const QString& procRoot) : m_path(QFile::encodeName(procRoot + QStringLiteral("/stat")))
{
}

std::optional<CpuTicks> ProcHostCpuSource::readTicks()
{
    // The aggregate line comes first; the rest of the file (per-CPU lines, interrupt counts)
    // is not needed.
    char buffer[1024];
    const ssize_t n = ProcFiles::readInto(AT_FDCWD, m_path.constData(), buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    return parse(buffer, size_t(n));
}

std::optional<CpuTicks> ProcHostCpuSource::parse(const char* text, size_t length)
{
    const char* p = text;
    const char* end = text + length;
    if (length < 4 || p[0] != 'c' || p[1] != 'p' || p[2] != 'u' || p[3] != ' ') return std::nullopt;
    p += 4;
    // user nice system idle iowait irq softirq steal; older kernels stop early.
    uint64_t fields[8] = {};
    int count = 0;
    while (count < 8) {
        ProcFiles::skipSpaces(p, end);
        if (p >= end || *p == '\n') break;
        if (!ProcFiles::parseUnsigned(p, end, fields[count])) return std::nullopt;
        ++count;
    }
    if (count < 4) return std::nullopt;
    CpuTicks t;
    t.user = fields[0];
    t.nice = fields[1];
    t.system = fields[2] + fields[5] + fields[6] + fields[7];
    t.idle = fields[3] + fields[4];
    return t;
}
