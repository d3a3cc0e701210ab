#include "platform/linux/ProcOpenFilesReader.h"

#include "platform/linux/ProcFiles.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t mapsLimit = 4 << 20;
constexpr size_t socketTableLimit = 16 << 20;

QByteArray readLink(const QByteArray& path)
{
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink(path.constData(), buffer, PATH_MAX);
    if (n <= 0) return {};
    return QByteArray(buffer, n);
}

std::vector<int> descriptorsOf(const QByteArray& fdDir)
{
    std::vector<int> fds;
    DIR* dir = ::opendir(fdDir.constData());
    if (!dir) return fds;
    while (dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (*name < '0' || *name > '9') continue;
        char* end = nullptr;
        const long fd = std::strtol(name, &end, 10);
        if (*end == '\0' && fd >= 0 && fd <= INT_MAX) fds.push_back(int(fd));
    }
    ::closedir(dir);
    std::sort(fds.begin(), fds.end());
    return fds;
}

void appendField(QByteArray& out, char tag, const QByteArray& value)
{
    out.append(tag);
    out.append(value);
    out.append('\n');
}

// The kernel writes an address as 32-bit words in host order, as hexadecimal text.
bool parseHexAddress(const QByteArray& text, QString& out)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 0) return false;
    const QByteArray address = text.left(colon);
    bool portOk = false;
    const uint port = text.mid(colon + 1).toUInt(&portOk, 16);
    if (!portOk || port > 0xFFFF) return false;
    if (address.size() != 8 && address.size() != 32) return false;
    unsigned char bytes[16];
    const int words = int(address.size() / 8);
    for (int w = 0; w < words; ++w) {
        bool ok = false;
        const uint32_t word = address.mid(w * 8, 8).toUInt(&ok, 16);
        if (!ok) return false;
        std::memcpy(bytes + 4 * w, &word, 4);
    }
    const bool zero = std::all_of(bytes, bytes + 4 * words, [](unsigned char b) { return b == 0; });
    if (zero && port == 0) {
        out.clear();
        return true;
    }
    char text_[INET6_ADDRSTRLEN] = {};
    if (words == 1) {
        if (!::inet_ntop(AF_INET, bytes, text_, sizeof text_)) return false;
        out = QString::fromLatin1(text_) + QLatin1Char(':') + QString::number(port);
    } else {
        if (!::inet_ntop(AF_INET6, bytes, text_, sizeof text_)) return false;
        out = QLatin1Char('[') + QString::fromLatin1(text_) + QStringLiteral("]:") + QString::number(port);
    }
    return true;
}

}  // namespace

ProcOpenFilesReader::ProcOpenFilesReader(const QString& procRoot, OpenFilesReader* fallback, uid_t user)
    : m_root(QFile::encodeName(procRoot)), m_fallback(fallback), m_user(user)
{
}

std::optional<uid_t> ProcOpenFilesReader::ownerOf(const QByteArray& status)
{
    const qsizetype at = status.startsWith("Uid:") ? 0 : status.indexOf("\nUid:");
    if (at < 0) return std::nullopt;
    const char* p = status.constData() + at + (at == 0 ? 4 : 5);
    const char* end = status.constData() + status.size();
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    uint64_t uid = 0;
    if (!ProcFiles::parseUnsigned(p, end, uid) || uid > UINT32_MAX) return std::nullopt;
    return uid_t(uid);
}

ProcOpenFilesReader::Access ProcOpenFilesReader::access(const QByteArray& base) const
{
    const std::optional<uid_t> owner = ownerOf(ProcFiles::readSmall(base + "/status", 16384));
    if (!owner) return Access::gone;
    if (m_user != 0 && *owner != m_user) return Access::notOurs;
    const int fd = ::open((base + "/fd").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return Access::read;
    }
    return errno == ENOENT ? Access::gone : Access::closed;
}

QByteArray ProcOpenFilesReader::fieldValue(const QByteArray& name)
{
    QByteArray value = name;
    value.replace('\n', "\\n");
    return value;
}

QString ProcOpenFilesReader::openFilesFields(int32_t pid)
{
    if (pid <= 0) return {};
    const QByteArray base = m_root + '/' + QByteArray::number(pid);
    switch (access(base)) {
    case Access::read: break;
    case Access::notOurs: return {};
    case Access::gone: return QStringLiteral("p%1\n").arg(pid);
    case Access::closed: return m_fallback ? m_fallback->openFilesFields(pid) : QStringLiteral("p%1\n").arg(pid);
    }
    QByteArray out;
    appendField(out, 'p', QByteArray::number(pid));
    const std::pair<const char*, const char*> links[] = {{"cwd", "/cwd"}, {"rtd", "/root"}, {"txt", "/exe"}};
    for (const auto& [fd, file] : links) {
        const QByteArray target = readLink(base + file);
        if (target.isEmpty()) continue;
        appendField(out, 'f', fd);
        appendField(out, 'n', fieldValue(target));
    }
    // Mapped files, each once, as the tool lists them.
    QSet<QByteArray> mapped;
    const QByteArray maps = ProcFiles::readSmall(base + "/maps", mapsLimit);
    for (const QByteArray& line : maps.split('\n')) {
        // address perms offset dev inode path
        int fields = 0;
        qsizetype i = 0;
        while (i < line.size() && fields < 5) {
            while (i < line.size() && line[i] != ' ') ++i;
            while (i < line.size() && line[i] == ' ') ++i;
            ++fields;
        }
        if (fields < 5 || i >= line.size() || line[i] != '/') continue;
        const QByteArray path = line.mid(i);
        if (mapped.contains(path)) continue;
        mapped.insert(path);
        appendField(out, 'f', "mem");
        appendField(out, 'n', fieldValue(path));
    }
    const QByteArray fdDir = base + "/fd";
    for (int fd : descriptorsOf(fdDir)) {
        const QByteArray target = readLink(fdDir + '/' + QByteArray::number(fd));
        if (target.isEmpty()) continue;
        appendField(out, 'f', QByteArray::number(fd));
        appendField(out, 'n', fieldValue(target));
    }
    return QString::fromUtf8(out);
}

bool ProcOpenFilesReader::parseSocketRow(const QByteArray& row, SocketRow& out)
{
    const QList<QByteArray> fields = row.simplified().split(' ');
    // sl local rem st tx:rx tr:tm retrnsmt uid timeout inode
    if (fields.size() < 10 || !fields[0].endsWith(':')) return false;
    bool ok = false;
    out.inode = fields[9].toULongLong(&ok);
    if (!ok) return false;
    return parseHexAddress(fields[1], out.local) && !out.local.isEmpty() && parseHexAddress(fields[2], out.remote);
}

QString ProcOpenFilesReader::endpointFields(int32_t pid)
{
    if (pid <= 0) return {};
    const QByteArray base = m_root + '/' + QByteArray::number(pid);
    switch (access(base)) {
    case Access::read: break;
    case Access::notOurs: return {};
    case Access::gone: return QStringLiteral("p%1\n").arg(pid);
    case Access::closed: return m_fallback ? m_fallback->endpointFields(pid) : QStringLiteral("p%1\n").arg(pid);
    }
    QHash<uint64_t, int> socketFds;
    const QByteArray fdDir = base + "/fd";
    for (int fd : descriptorsOf(fdDir)) {
        const QByteArray target = readLink(fdDir + '/' + QByteArray::number(fd));
        if (!target.startsWith("socket:[") || !target.endsWith(']')) continue;
        bool ok = false;
        const uint64_t inode = target.mid(8, target.size() - 9).toULongLong(&ok);
        if (ok && !socketFds.contains(inode)) socketFds.insert(inode, fd);
    }
    QByteArray out;
    appendField(out, 'p', QByteArray::number(pid));
    if (socketFds.isEmpty()) return QString::fromUtf8(out);
    for (const char* table : {"/net/tcp", "/net/tcp6", "/net/udp", "/net/udp6"}) {
        const QByteArray text = ProcFiles::readSmall(base + table, socketTableLimit);
        const QList<QByteArray> rows = text.split('\n');
        for (qsizetype i = 1; i < rows.size(); ++i) {
            SocketRow row;
            if (!parseSocketRow(rows[i], row)) continue;
            const auto it = socketFds.constFind(row.inode);
            if (it == socketFds.constEnd()) continue;
            appendField(out, 'f', QByteArray::number(*it));
            QString name = row.local;
            if (!row.remote.isEmpty()) name += QStringLiteral("->") + row.remote;
            appendField(out, 'n', name.toUtf8());
        }
    }
    return QString::fromUtf8(out);
}
