#include "app/SingleInstance.h"

#include "core/Paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

SingleInstance::SingleInstance(QString socketPath, QObject* parent) : QObject(parent), m_path(std::move(socketPath))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance()
{
    m_server.close();
}

namespace {

// A folder that only we can change: ours, and not writable by group or others.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

QString ownerText(uid_t uid)
{
    const passwd* user = ::getpwuid(uid);
    return user ? QStringLiteral("%1 (uid %2)").arg(QString::fromLocal8Bit(user->pw_name)).arg(uid)
                : QStringLiteral("uid %1").arg(uid);
}

// Why `path` may not be used by us: another user owns it. Empty when it is free or ours.
QString foreignOwner(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || st.st_uid == ::getuid()) return {};
    return QStringLiteral("%1 belongs to another user, %2").arg(path, ownerText(st.st_uid));
}

}  // namespace

QString SingleInstance::defaultSocketPath()
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !isPrivateFolder(QFile::encodeName(dir))) {
        dir = Paths::cacheDir() + QStringLiteral("/run");
        QDir().mkpath(Paths::cacheDir());
        const QByteArray native = QFile::encodeName(dir);
        // Made 0700 here; one left by someone else is reported by claim(), not reused.
        if (::mkdir(native.constData(), 0700) != 0 && errno == EEXIST) {
            struct stat st {};
            if (::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()) {
                ::chmod(native.constData(), 0700);
            }
        }
    }
    const QByteArray store = QCryptographicHash::hash(QFile::encodeName(QDir::cleanPath(Paths::configDir())),
                                                      QCryptographicHash::Sha256)
                                 .toHex()
                                 .left(12);
    return dir + QStringLiteral("/veltranmoor-%1-%2.sock").arg(::getuid()).arg(QString::fromLatin1(store));
}

bool SingleInstance::forward(const QString& path, const QString& request, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(request.toUtf8().left(maxRequestBytes - 1) + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    // The running instance answers once it has the whole line.
    socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

SingleInstance::Role SingleInstance::claim(const QString& request)
{
    m_error.clear();
    // Another user's folder, socket or lock at our name may be a trap: a request handed to it
    // would reach them, and a removal would act on their file.
    const QString folder = QFileInfo(m_path).absolutePath();
    for (const QString& path : {folder, m_path, m_path + QStringLiteral(".lock")}) {
        const QString foreign = foreignOwner(path);
        if (foreign.isEmpty()) continue;
        m_error = QStringLiteral("Cannot use the single-instance socket: ") + foreign;
        return Role::otherUser;
    }
    // Two starts at the same moment must not both decide they are first.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    lock.tryLock(5000);
    if (forward(m_path, request)) return Role::forwarded;
    if (m_server.listen(m_path)) return Role::primary;
    // Nobody answered, so what is left at the path is a dead instance's socket.
    QLocalServer::removeServer(m_path);
    if (m_server.listen(m_path)) return Role::primary;
    m_error = QStringLiteral("Cannot listen on the single-instance socket %1: %2").arg(m_path, m_server.errorString());
    return Role::failed;
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto* silence = new QTimer(socket);
        silence->setSingleShot(true);
        connect(silence, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        silence->start(m_lineTimeout);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, silence] {
            // A request is one line; anything longer than a request can be is dropped.
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() >= maxRequestBytes) socket->abort();
                return;
            }
            silence->stop();
            const QString request = QString::fromUtf8(socket->readLine(maxRequestBytes)).trimmed();
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            Q_EMIT requestReceived(request);
        });
    }
}
