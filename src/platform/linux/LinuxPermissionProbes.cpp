#include "platform/linux/LinuxPermissionProbes.h"

#include "platform/linux/FileManager.h"

#include "core/Paths.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool canRead(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

QString xdgKey(PermissionProbes::Folder folder)
{
    switch (folder) {
    case PermissionProbes::Folder::desktop: return QStringLiteral("XDG_DESKTOP_DIR");
    case PermissionProbes::Folder::documents: return QStringLiteral("XDG_DOCUMENTS_DIR");
    case PermissionProbes::Folder::downloads: break;
    }
    return QStringLiteral("XDG_DOWNLOAD_DIR");
}

QString defaultName(PermissionProbes::Folder folder)
{
    switch (folder) {
    case PermissionProbes::Folder::desktop: return QStringLiteral("Desktop");
    case PermissionProbes::Folder::documents: return QStringLiteral("Documents");
    case PermissionProbes::Folder::downloads: break;
    }
    return QStringLiteral("Downloads");
}

}  // namespace

LinuxPermissionProbes::LinuxPermissionProbes(Roots roots) : m_roots(std::move(roots))
{
    if (m_roots.home.isEmpty()) m_roots.home = Paths::home();
    if (m_roots.userDirsConfig.isEmpty()) m_roots.userDirsConfig = Paths::configHome() + QStringLiteral("/user-dirs.dirs");
    if (m_roots.currentDesktop.isEmpty()) m_roots.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
}

PermissionState LinuxPermissionProbes::fullDiskAccess() const
{
    // Readable when one journal file opens; the journal's group (systemd-journal, adm) decides.
    for (const QString& dir : m_roots.journalDirs) {
        QDirIterator it(dir, {QStringLiteral("*.journal")}, QDir::Files, QDirIterator::Subdirectories);
        int looked = 0;
        while (it.hasNext() && looked++ < 64)
            if (canRead(it.next())) return PermissionState::granted;
    }
    return PermissionState::denied;
}

PermissionState LinuxPermissionProbes::accessibility() const
{
    if (!m_roots.wayland) return PermissionState::granted;
    const QStringList events = QDir(m_roots.inputDir).entryList({QStringLiteral("event*")}, QDir::System | QDir::Files);
    for (const QString& e : events)
        if (canRead(m_roots.inputDir + QLatin1Char('/') + e)) return PermissionState::granted;
    return PermissionState::denied;
}

QString LinuxPermissionProbes::folderPath(Folder folder) const
{
    // user-dirs.dirs lines look like XDG_DOWNLOAD_DIR="$HOME/Downloads".
    QFile config(m_roots.userDirsConfig);
    if (config.open(QIODevice::ReadOnly)) {
        const QString key = xdgKey(folder);
        const QStringList lines = QString::fromUtf8(config.read(64 * 1024)).split(QLatin1Char('\n'));
        for (const QString& raw : lines) {
            const QString line = raw.trimmed();
            if (!line.startsWith(key + QLatin1Char('='))) continue;
            QString value = line.mid(key.size() + 1).trimmed();
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QStringLiteral("$HOME")))
                value = m_roots.home + value.mid(5);
            else if (!value.startsWith(QLatin1Char('/')))
                continue;
            // A folder set to the home itself means "not in use".
            if (QDir::cleanPath(value) == QDir::cleanPath(m_roots.home)) break;
            return QDir::cleanPath(value);
        }
    }
    return m_roots.home + QLatin1Char('/') + defaultName(folder);
}

PermissionState LinuxPermissionProbes::folder(Folder which) const
{
    const QString path = folderPath(which);
    const QFileInfo info(path);
    if (!info.exists()) return PermissionState::notDetermined;
    if (!info.isDir()) return PermissionState::denied;
    const QByteArray native = QFile::encodeName(path);
    if (::access(native.constData(), R_OK | W_OK | X_OK) != 0) return PermissionState::denied;
    QDir dir(path);
    if (!dir.isReadable()) return PermissionState::denied;
    return PermissionState::granted;
}

void LinuxPermissionProbes::notifications(QObject* context, std::function<void(PermissionState)> answer)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetServerInformation"));
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, answer] {
        watcher->deleteLater();
        answer(watcher->isError() ? PermissionState::denied : PermissionState::granted);
    });
}

QStringList LinuxPermissionProbes::settingsCommand(const QString& desktop, const QString& pane)
{
    const QStringList desktops = desktop.toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& d : desktops) {
        if (d == QStringLiteral("gnome") || d == QStringLiteral("unity") || d == QStringLiteral("ubuntu"))
            return {QStringLiteral("gnome-control-center"), pane};
        if (d == QStringLiteral("kde")) return {QStringLiteral("systemsettings"), pane};
    }
    return {};
}

void LinuxPermissionProbes::showInFiles(const QString& path) { FileManager::showItem(path); }

bool LinuxPermissionProbes::openSettings(const QString& pane)
{
    const QStringList command = settingsCommand(m_roots.currentDesktop, pane);
    if (command.isEmpty()) return false;
    return QProcess::startDetached(command.first(), command.mid(1));
}
