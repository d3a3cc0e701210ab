#include "app/SingleInstance.h"

#include "core/Paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

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

QString SingleInstance::defaultSocketPath()
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
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
    // Two starts at the same moment must not both decide they are first.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    lock.tryLock(5000);
    if (forward(m_path, request)) return Role::forwarded;
    if (m_server.listen(m_path)) return Role::primary;
    // Nobody answered, so what is left at the path is a dead instance's socket.
    QLocalServer::removeServer(m_path);
    return m_server.listen(m_path) ? Role::primary : Role::failed;
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // A request is one line; anything longer than a request can be is dropped.
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() >= maxRequestBytes) socket->abort();
                return;
            }
            const QString request = QString::fromUtf8(socket->readLine(maxRequestBytes)).trimmed();
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            Q_EMIT requestReceived(request);
        });
    }
}
