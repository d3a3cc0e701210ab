#include "platform/linux/FileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace FileManager {

void openFolder(const QString& path)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(path).toString()});
}

void showItem(const QString& path)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, path] {
        watcher->deleteLater();
        if (watcher->isError()) openFolder(QFileInfo(path).absolutePath());
    });
}

}  // namespace FileManager
