#include "platform/linux/SysfsValue.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace SysfsValue {

namespace {

QByteArrayView trimmed(QByteArrayView text)
{
    auto space = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\0'; };
    qsizetype b = 0, e = text.size();
    while (b < e && space(text[b])) ++b;
    while (e > b && space(text[e - 1])) --e;
    return text.sliced(b, e - b);
}

template <typename T>
std::optional<T> parseNumber(QByteArrayView raw)
{
    const QByteArrayView text = trimmed(raw);
    if (text.isEmpty()) return std::nullopt;
    T value{};
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (*begin == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<QByteArray> readFile(const QString& path, qsizetype maxBytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    QByteArray out;
    out.resize(maxBytes);
    qsizetype used = 0;
    while (used < maxBytes) {
        const ssize_t n = ::read(fd, out.data() + used, size_t(maxBytes - used));
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        used += n;
    }
    ::close(fd);
    out.resize(used);
    return out;
}

std::optional<QString> readText(const QString& path)
{
    const auto raw = readFile(path);
    if (!raw) return std::nullopt;
    const QByteArrayView text = trimmed(*raw);
    if (text.isEmpty()) return std::nullopt;
    return QString::fromUtf8(text);
}

std::optional<int64_t> parseInt(QByteArrayView text) { return parseNumber<int64_t>(text); }
std::optional<uint64_t> parseUnsigned(QByteArrayView text)
{
    if (!trimmed(text).isEmpty() && trimmed(text)[0] == '-') return std::nullopt;
    return parseNumber<uint64_t>(text);
}

std::optional<int64_t> readInt(const QString& path)
{
    const auto raw = readFile(path, 64);
    return raw ? parseInt(*raw) : std::nullopt;
}

std::optional<uint64_t> readUnsigned(const QString& path)
{
    const auto raw = readFile(path, 64);
    return raw ? parseUnsigned(*raw) : std::nullopt;
}

QStringList entries(const QString& dir)
{
    QStringList names = QDir(dir).entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    // Split each name into its text and its trailing number: "thermal_zone10" sorts after "thermal_zone9".
    auto key = [](const QString& name) {
        qsizetype i = name.size();
        while (i > 0 && name[i - 1].isDigit()) --i;
        bool ok = false;
        const qulonglong n = i < name.size() ? name.mid(i).toULongLong(&ok) : 0;
        return std::pair(name.left(i), ok ? n : 0ULL);
    };
    std::stable_sort(names.begin(), names.end(), [&](const QString& a, const QString& b) { return key(a) < key(b); });
    return names;
}

}  // namespace SysfsValue
