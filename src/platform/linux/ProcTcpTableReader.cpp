#include "platform/linux/ProcTcpTableReader.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ProcTcpTableReader::ProcTcpTableReader(QString procRoot, QString ssProgram, std::chrono::milliseconds toolDeadline)
    : m_procRoot(std::move(procRoot)), m_ssProgram(std::move(ssProgram)), m_toolDeadline(toolDeadline)
{
}

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A row: "  12: 0100007F:0277 00000000:0000 01 ...". The header row and anything whose first
// field is not "<number>:" are skipped; the state is the fourth field.
bool isEstablishedRow(const char* p, const char* end)
{
    QByteArrayView fields[4];
    int n = 0;
    while (n < 4) {
        while (p < end && isSpace(*p)) ++p;
        if (p == end) return false;
        const char* start = p;
        while (p < end && !isSpace(*p)) ++p;
        fields[n++] = QByteArrayView(start, p - start);
    }
    const QByteArrayView slot = fields[0];
    if (slot.size() < 2 || slot.back() != ':') return false;
    for (qsizetype i = 0; i + 1 < slot.size(); ++i) {
        if (slot[i] < '0' || slot[i] > '9') return false;
    }
    // The row must go on after the state: a row cut right after "01" is incomplete.
    return fields[3] == "01" && p < end && isSpace(*p);
}

}  // namespace

int64_t ProcTcpTableReader::countEstablishedInTable(const QString& path) const
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;

    // Read in chunks and count whole lines only, so a large table needs no large buffer. A row
    // is about 150 bytes; the buffer lives on the stack, so a reading allocates nothing.
    constexpr qsizetype kChunk = 8 * 1024;
    std::array<char, kChunk * 2> storage;
    qsizetype held = 0;
    int64_t count = 0;
    for (;;) {
        if (held == qsizetype(storage.size())) {
            // One line longer than the whole buffer is not a table row; drop it.
            held = 0;
        }
        const ssize_t got = ::read(fd, storage.data() + held, storage.size() - size_t(held));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ::close(fd);
            return -1;
        }
        if (got == 0) break;
        held += got;
        const char* data = storage.data();
        qsizetype lineStart = 0;
        for (qsizetype i = 0; i < held; ++i) {
            if (data[i] != '\n') continue;
            if (isEstablishedRow(data + lineStart, data + i)) ++count;
            lineStart = i + 1;
        }
        std::memmove(storage.data(), data + lineStart, size_t(held - lineStart));
        held -= lineStart;
    }
    ::close(fd);
    // A last row without its newline was cut short; it does not count.
    return count;
}

int64_t ProcTcpTableReader::currentEstablishedCounter(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    // The file is a few hundred bytes; "Tcp:" comes twice, the names and then their values.
    const QByteArray text = file.read(16 * 1024);
    QList<QByteArray> names;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith("Tcp:")) continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        const qsizetype at = names.indexOf("CurrEstab");
        if (at <= 0 || fields.size() != names.size()) return -1;
        bool ok = false;
        const qlonglong value = fields[at].toLongLong(&ok);
        return ok && value >= 0 ? value : -1;
    }
    return -1;
}

int64_t ProcTcpTableReader::countEstablishedTCP() const
{
    // The kernel keeps the count itself (IPv4 and IPv6 together). Reading it costs a few
    // microseconds, where the tables below cost milliseconds on a machine with a large
    // connection hash, whatever few connections it holds.
    if (const int64_t counted = currentEstablishedCounter(m_procRoot + QStringLiteral("/net/snmp")); counted >= 0)
        return counted;
    // Without IPv6 there is no tcp6 table; that is still an answer.
    const int64_t v4 = countEstablishedInTable(m_procRoot + QStringLiteral("/net/tcp"));
    const int64_t v6 = countEstablishedInTable(m_procRoot + QStringLiteral("/net/tcp6"));
    if (v4 < 0 && v6 < 0) return -1;
    return std::max<int64_t>(v4, 0) + std::max<int64_t>(v6, 0);
}

int64_t ProcTcpTableReader::readEstablishedConnections() const
{
    QProcess tool;
    QDeadlineTimer deadline(m_toolDeadline);
    tool.start(m_ssProgram, {QStringLiteral("-Htan"), QStringLiteral("state"), QStringLiteral("established")});
    if (!tool.waitForStarted(int(std::max<qint64>(1, deadline.remainingTime())))) {
        tool.kill();
        tool.waitForFinished(1000);
        return 0;
    }
    tool.closeWriteChannel();
    // waitForFinished reads both pipes while it waits, so a chatty tool cannot stall on a full pipe.
    if (!tool.waitForFinished(int(std::max<qint64>(1, deadline.remainingTime())))) {
        tool.kill();
        tool.waitForFinished(1000);
        return 0;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) return 0;
    tool.readAllStandardError();
    const QByteArray out = tool.readAllStandardOutput();
    int64_t count = 0;
    for (const QByteArray& line : out.split('\n')) {
        if (!line.trimmed().isEmpty()) ++count;
    }
    return count;
}
