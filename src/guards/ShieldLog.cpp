#include "guards/ShieldLog.h"

#include "core/Clock.h"
#include "core/Executor.h"
#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

ShieldLog::ShieldLog(QString path, const Clock& clock, Executor& queue)
    : m_path(std::move(path)), m_clock(clock), m_queue(queue)
{
}

QByteArray ShieldLog::formatLine(const QDateTime& at, const QString& message)
{
    return (QLatin1Char('[') + at.toUTC().toString(Qt::ISODate) + QStringLiteral("] ") + Log::escapeControls(message) +
            QLatin1Char('\n'))
        .toUtf8();
}

void ShieldLog::append(const QString& message)
{
    QByteArray line = formatLine(m_clock.now(), message);
    m_queue.async([path = m_path, line = std::move(line)] {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return;
        const char* p = line.constData();
        qsizetype left = line.size();
        while (left > 0) {
            const ssize_t n = ::write(fd, p, size_t(left));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            p += n;
            left -= n;
        }
        ::close(fd);
    });
}
