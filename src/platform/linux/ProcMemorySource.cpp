#include "platform/linux/ProcMemorySource.h"

#include "platform/linux/ProcFiles.h"

#include <QFile>
#include <cstring>
#include <fcntl.h>

ProcMemorySource::ProcMemorySource(const QString& procRoot) : m_path(QFile::encodeName(procRoot + QStringLiteral("/meminfo")))
{
}

std::optional<MemoryStats> ProcMemorySource::readMemory()
{
    char buffer[8192];
    const ssize_t n = ProcFiles::readInto(AT_FDCWD, m_path.constData(), buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    return parse(buffer, size_t(n));
}

std::optional<MemoryStats> ProcMemorySource::parse(const char* text, size_t length)
{
    std::optional<uint64_t> totalKb;
    std::optional<uint64_t> availableKb;
    const char* p = text;
    const char* end = text + length;
    while (p < end && !(totalKb && availableKb)) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd) lineEnd = end;
        auto field = [&](const char* key, std::optional<uint64_t>& into) {
            const size_t keyLength = std::strlen(key);
            if (size_t(lineEnd - p) <= keyLength || std::memcmp(p, key, keyLength) != 0) return;
            const char* q = p + keyLength;
            ProcFiles::skipSpaces(q, lineEnd);
            uint64_t v = 0;
            if (ProcFiles::parseUnsigned(q, lineEnd, v) && v <= UINT64_MAX / 1024) into = v;
        };
        field("MemTotal:", totalKb);
        field("MemAvailable:", availableKb);
        p = lineEnd + 1;
    }
    if (!totalKb || !availableKb) return std::nullopt;
    MemoryStats stats;
    stats.totalBytes = *totalKb * 1024;
    stats.availableBytes = std::min(*availableKb, *totalKb) * 1024;
    return stats;
}
