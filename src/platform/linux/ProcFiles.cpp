#include "platform/linux/ProcFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <system_error>
#include <unistd.h>

namespace ProcFiles {

ssize_t readInto(int dirFd, const char* path, char* buffer, size_t capacity)
{
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    ssize_t n;
    do {
        n = ::read(fd, buffer, capacity);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n;
}

QByteArray readSmall(const QByteArray& path, size_t limit)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};
    QByteArray out;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(chunk, n);
        if (size_t(out.size()) >= limit) {
            out.truncate(qsizetype(limit));
            break;
        }
    }
    ::close(fd);
    return out;
}

bool parseUnsigned(const char*& p, const char* end, uint64_t& value)
{
    const char* start = p;
    uint64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        const uint64_t digit = uint64_t(*p - '0');
        if (v > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
        v = v * 10 + digit;
        ++p;
    }
    if (p == start) return false;
    value = v;
    return true;
}

bool parseSigned(const char*& p, const char* end, int64_t& value)
{
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    uint64_t magnitude = 0;
    if (!parseUnsigned(p, end, magnitude)) return false;
    if (magnitude > uint64_t(std::numeric_limits<int64_t>::max())) return false;
    value = negative ? -int64_t(magnitude) : int64_t(magnitude);
    return true;
}

void skipSpaces(const char*& p, const char* end)
{
    while (p < end && *p == ' ') ++p;
}

QString errnoText(int error) { return QString::fromStdString(std::system_category().message(error)); }

}  // namespace ProcFiles
