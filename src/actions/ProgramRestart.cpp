#include "actions/ProgramRestart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QByteArray readSmall(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(64 * 1024);
}

// A process that has exited but is not yet reaped keeps its name; it runs no more.
bool isZombie(const QByteArray& status)
{
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("State:")) return line.mid(6).trimmed().startsWith('Z');
    }
    return false;
}

std::optional<uid_t> realUid(const QByteArray& status)
{
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith("Uid:")) continue;
        const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
        bool ok = false;
        const qulonglong uid = fields.value(0).toULongLong(&ok);
        if (ok) return uid_t(uid);
    }
    return std::nullopt;
}

}  // namespace

namespace ProgramRestart {

std::optional<QString> userUnitFromCgroup(const QString& cgroupText)
{
    for (const QString& line : cgroupText.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // The unified hierarchy's line: "0::/user.slice/user-1000.slice/user@1000.service/...".
        if (!line.startsWith(QLatin1String("0::"))) continue;
        const QStringList parts = line.mid(3).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        const qsizetype manager =
            std::find_if(parts.begin(), parts.end(), [](const QString& p) { return p.startsWith(QLatin1String("user@")); }) -
            parts.begin();
        for (qsizetype i = parts.size() - 1; i > manager; --i) {
            if (parts[i].endsWith(QLatin1String(".service"))) return parts[i];
        }
    }
    return std::nullopt;
}

QList<RunningProgram> findOwn(const QString& procRoot, const QString& name, uid_t uid)
{
    QList<std::pair<int32_t, QString>> pids;
    for (const QString& entry : QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (ok && pid > 1) pids.append({pid, procRoot + QLatin1Char('/') + entry});
    }
    std::sort(pids.begin(), pids.end());

    QList<RunningProgram> found;
    for (const auto& [pid, dir] : pids) {
        if (QString::fromUtf8(readSmall(dir + QStringLiteral("/comm"))).trimmed() != name) continue;
        const QByteArray status = readSmall(dir + QStringLiteral("/status"));
        if (realUid(status) != uid || isZombie(status)) continue;
        RunningProgram program;
        program.pid = pid;
        // The start time is the 20th field after the name, which ends at the last ')'.
        const QByteArray stat = readSmall(dir + QStringLiteral("/stat"));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        // Unreadable: 0, which no signal path accepts as this process.
        if (fields.size() > 19) program.startTime = fields[19].toULongLong();
        for (const QByteArray& arg : readSmall(dir + QStringLiteral("/cmdline")).split('\0')) {
            if (!arg.isEmpty() || !program.argv.isEmpty()) program.argv.append(QFile::decodeName(arg));
        }
        // cmdline ends with a terminator, which leaves one empty item behind.
        if (!program.argv.isEmpty() && program.argv.last().isEmpty()) program.argv.removeLast();
        program.workingDirectory = QFileInfo(dir + QStringLiteral("/cwd")).symLinkTarget();
        program.userUnit = userUnitFromCgroup(QString::fromUtf8(readSmall(dir + QStringLiteral("/cgroup"))));
        found.append(program);
    }
    return found;
}

}  // namespace ProgramRestart
