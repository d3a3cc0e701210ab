#include "platform/linux/LsofOpenFilesReader.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

LsofOpenFilesReader::LsofOpenFilesReader(QString program, std::chrono::milliseconds deadline, OpenFilesReader& fallback)
    : m_program(std::move(program)), m_deadline(deadline), m_fallback(&fallback)
{
}

LsofOpenFilesReader::LsofOpenFilesReader(QString program, std::chrono::milliseconds deadline)
    : m_program(std::move(program)), m_deadline(deadline)
{
}

QString LsofOpenFilesReader::findProgram()
{
    for (const char* path : {"/usr/bin/lsof", "/usr/sbin/lsof", "/bin/lsof", "/sbin/lsof"}) {
        const QFileInfo info(QString::fromLatin1(path));
        if (info.isFile() && info.isExecutable()) return info.filePath();
    }
    return {};
}

std::optional<QString> LsofOpenFilesReader::run(const QStringList& arguments) const
{
    if (m_program.isEmpty()) return std::nullopt;
    const QFileInfo info(m_program);
    if (!info.isFile() || !info.isExecutable()) return std::nullopt;
    QProcess tool;
    QDeadlineTimer deadline(m_deadline);
    tool.start(m_program, arguments);
    if (!tool.waitForStarted(int(std::max<qint64>(1, deadline.remainingTime())))) {
        tool.kill();
        tool.waitForFinished(1000);
        return std::nullopt;
    }
    tool.closeWriteChannel();
    // Waiting reads both pipes, so a long listing cannot stall the tool on a full pipe.
    if (!tool.waitForFinished(int(std::max<qint64>(1, deadline.remainingTime())))) {
        tool.kill();
        tool.waitForFinished(1000);
    }
    tool.readAllStandardError();
    // A name that is not valid UTF-8 must not hide the rest of the listing.
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QString LsofOpenFilesReader::openFilesFields(int32_t pid)
{
    if (pid <= 0) return {};
    if (auto out = run({QStringLiteral("-p"), QString::number(pid), QStringLiteral("-Ffn")})) return *out;
    return m_fallback ? m_fallback->openFilesFields(pid) : QString();
}

QString LsofOpenFilesReader::endpointFields(int32_t pid)
{
    if (pid <= 0) return {};
    if (auto out = run({QStringLiteral("-i"), QStringLiteral("-a"), QStringLiteral("-p"), QString::number(pid),
                        QStringLiteral("-Ffn")})) {
        return *out;
    }
    return m_fallback ? m_fallback->endpointFields(pid) : QString();
}
