#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <chrono>

// One running application per user and settings store. The first start listens on a local
// socket; a later start hands its request (an address such as "veltranmoor://dashboard", or
// nothing) to the running one and exits.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype maxRequestBytes = 4096;
    // A connection that has not sent its line within this long is dropped, so clients that
    // connect and stay silent cannot pile up open descriptors.
    static constexpr std::chrono::milliseconds defaultLineTimeout{5000};

    // `socketPath` defaults to defaultSocketPath().
    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // In $XDG_RUNTIME_DIR when it is a folder of ours, else in a 0700 folder of our own below
    // the cache folder (never a shared one such as /tmp, where another user could take the
    // name first); named by the user id and the settings folder, so one user's instances on
    // one store meet and nobody else's do.
    static QString defaultSocketPath();
    const QString& socketPath() const { return m_path; }

    enum class Role {
        primary,    // nobody else runs: this process now listens
        forwarded,  // the running instance has the request; this process should exit
        failed,     // neither worked (the socket could not be claimed); error() says why
        otherUser,  // the name or its folder belongs to another user; error() says whose
    };
    // A socket, or its folder, that belongs to another user is never connected to or removed.
    Role claim(const QString& request);
    const QString& error() const { return m_error; }
    bool isListening() const { return m_server.isListening(); }
    void setLineTimeout(std::chrono::milliseconds timeout) { m_lineTimeout = timeout; }

    // Sends `request` to the instance listening at `path`; false when none answers.
    static bool forward(const QString& path, const QString& request, int timeoutMs = 3000);

Q_SIGNALS:
    // A later start's request, on the main thread.
    void requestReceived(const QString& request);

private:
    void accept();

    QString m_path;
    QString m_error;
    QLocalServer m_server;
    std::chrono::milliseconds m_lineTimeout = defaultLineTimeout;
};
