#include "platform/linux/AutostartLoginItem.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// An autostart entry is a few hundred bytes; anything far larger is not one we wrote.
constexpr qint64 kMaxEntryBytes = 64 * 1024;

QString escapeStringValue(const QString& value)
{
    // Desktop-entry string escapes apply after the Exec quoting rules.
    QString out;
    for (QChar c : value) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else
            out += c;
    }
    return out;
}

}  // namespace

AutostartLoginItem::AutostartLoginItem(QString executablePath) : m_executable(std::move(executablePath)) {}

QString AutostartLoginItem::entryPath()
{
    return Paths::configHome() + QStringLiteral("/autostart/veltranmoor.desktop");
}

QString AutostartLoginItem::execValue(const QString& program)
{
    if (program.isEmpty() || !program.startsWith(u'/'))
        return {};
    for (QChar c : program) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return {};
    }
    // Always quoted as one argument: inside double quotes only ", `, $ and \ need a backslash;
    // % is a field-code introducer everywhere in Exec and is doubled.
    QString quoted = QStringLiteral("\"");
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    return escapeStringValue(quoted);
}

QString AutostartLoginItem::preferredExecutable(const QString& running)
{
    const QFileInfo self(running);
    if (self.absoluteDir().dirName() == QStringLiteral("bin")) return running;
    const QString candidates[] = {QStandardPaths::findExecutable(QStringLiteral("veltranmoor")),
                                  Paths::home() + QStringLiteral("/.local/bin/veltranmoor")};
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (!candidate.isEmpty() && info.isFile() && info.isExecutable()) return info.absoluteFilePath();
    }
    return running;
}

AutostartLoginItem::Entry AutostartLoginItem::read() const
{
    Entry entry;
    QFile file(entryPath());
    if (!file.exists()) return entry;
    entry.exists = true;
    // An autostart entry is a few hundred bytes; a huge file is read as one that starts nothing.
    if (file.size() > kMaxEntryBytes || !file.open(QIODevice::ReadOnly)) return entry;
    const QString wantExec = execValue(m_executable);
    bool inMainGroup = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        // Entries written before the start-up flag existed start this executable too.
        if (key == QStringLiteral("Exec"))
            entry.startsThisExecutable =
                !wantExec.isEmpty() && (value == wantExec || value == wantExec + QStringLiteral(" --autostart"));
        else if (key == QStringLiteral("Hidden") && value == QStringLiteral("true"))
            entry.turnedOff = true;
        else if (key == QStringLiteral("X-GNOME-Autostart-enabled") && value == QStringLiteral("false"))
            entry.turnedOff = true;
    }
    return entry;
}

LoginItemService::Status AutostartLoginItem::status() const
{
    const Entry entry = read();
    return entry.startsThisExecutable && !entry.turnedOff ? Status::enabled : Status::notRegistered;
}

bool AutostartLoginItem::startsAtLogin() const
{
    const Entry entry = read();
    return entry.exists && !entry.turnedOff;
}

bool AutostartLoginItem::turnedOffByDesktop() const
{
    const Entry entry = read();
    return entry.exists && entry.turnedOff;
}

::Status AutostartLoginItem::registerItem()
{
    const QString exec = execValue(m_executable);
    if (exec.isEmpty())
        return ::Status::failure(QStringLiteral("The application's path cannot be started from an autostart entry."));
    const QString path = entryPath();
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return ::Status::failure(QStringLiteral("Could not create the folder %1.").arg(dir));

    QByteArray text;
    text += "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=Veltranmoor AI\n";
    text += "Comment=Keeps this computer fast and healthy\n";
    // The flag tells a login start from one by the user: it then waits in the tray.
    text += "Exec=" + exec.toUtf8() + " --autostart\n";
    text += "Icon=veltranmoor\n";
    text += "Terminal=false\n";
    text += "X-GNOME-Autostart-enabled=true\n";

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return ::Status::failure(file.errorString());
    if (file.write(text) != text.size() || !file.commit())
        return ::Status::failure(file.errorString());
    return ::Status::success();
}

::Status AutostartLoginItem::unregisterItem()
{
    QFile file(entryPath());
    if (!file.exists())
        return ::Status::success();
    // The file of our name is ours, whichever install wrote it; it is the application's own
    // bookkeeping, not user data, so it does not go to the Trash.
    if (!file.remove())
        return ::Status::failure(file.errorString());
    return ::Status::success();
}
