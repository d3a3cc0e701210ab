#include "platform/linux/LinuxHostFacts.h"

#include <QFile>
#include <QSysInfo>

#include <unistd.h>

namespace {

QByteArray readSmall(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(256 * 1024);
}

}  // namespace

LinuxHostFacts::LinuxHostFacts(QString etcRoot, QString procRoot) : m_etc(std::move(etcRoot)), m_proc(std::move(procRoot)) {}

QString LinuxHostFacts::prettyName(const QByteArray& osRelease)
{
    for (const QByteArray& raw : osRelease.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith("PRETTY_NAME=")) continue;
        QByteArray value = line.mid(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            value = value.mid(1, value.size() - 2);
        }
        // The shell escapes a quoted value may hold.
        QByteArray plain;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            plain.append(value[i]);
        }
        return QString::fromUtf8(plain).trimmed();
    }
    return {};
}

QString LinuxHostFacts::cpuModel(const QByteArray& cpuinfo)
{
    QString fallback;
    for (const QByteArray& line : cpuinfo.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) continue;
        const QByteArray key = line.left(colon).trimmed();
        const QString value = QString::fromUtf8(line.mid(colon + 1)).trimmed();
        if (value.isEmpty()) continue;
        if (key == "model name") return value;
        if (fallback.isEmpty() && (key == "Hardware" || key == "Processor" || key == "cpu model")) fallback = value;
    }
    return fallback;
}

HostFacts LinuxHostFacts::read() const
{
    HostFacts facts;
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0) facts.hostName = QString::fromLocal8Bit(name);
    if (facts.hostName.isEmpty()) facts.hostName = QStringLiteral("unknown");

    facts.osVersion = prettyName(readSmall(m_etc + QStringLiteral("/os-release")));
    if (facts.osVersion.isEmpty()) facts.osVersion = QSysInfo::prettyProductName();

    facts.cpuBrand = cpuModel(readSmall(m_proc + QStringLiteral("/cpuinfo")));
    if (facts.cpuBrand.isEmpty()) facts.cpuBrand = QStringLiteral("unknown");

    for (const QByteArray& line : readSmall(m_proc + QStringLiteral("/meminfo")).split('\n')) {
        if (!line.startsWith("MemTotal:")) continue;
        bool ok = false;
        const quint64 kib = line.mid(9).trimmed().split(' ').value(0).toULongLong(&ok);
        if (ok) facts.physicalMemoryBytes = kib * 1024u;
        break;
    }
    return facts;
}
