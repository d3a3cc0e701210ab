#include "platform/linux/LogindSleepWatch.h"

#include "core/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");

}  // namespace

LogindSleepWatch::LogindSleepWatch(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus)) {}

LogindSleepWatch::~LogindSleepWatch() { stop(); }

void LogindSleepWatch::start(std::function<void(Delay)> willSleep)
{
    stop();
    m_willSleep = std::move(willSleep);
    if (!m_bus.isConnected()) return;
    m_listening = m_bus.connect(kService, kPath, kInterface, QStringLiteral("PrepareForSleep"), this,
                                SLOT(prepareForSleep(bool)));
    if (m_listening) takeInhibitor();
}

void LogindSleepWatch::stop()
{
    ++m_generation;
    if (m_listening) {
        m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
        m_listening = false;
    }
    m_willSleep = nullptr;
    closeInhibitor();
}

void LogindSleepWatch::takeInhibitor()
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Veltranmoor")
         << QStringLiteral("Work Guard takes snapshots of open work before sleep") << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000), this);
    const quint64 generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        if (reply.isError()) {
            Log::line(QStringLiteral("[WorkGuard] no sleep inhibitor from logind: ") + reply.error().message());
            return;
        }
        if (generation != m_generation || !m_listening) return;  // the descriptor closes with the reply
        closeInhibitor();
        const int fd = reply.value().fileDescriptor();
        m_fd = fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
    });
}

void LogindSleepWatch::closeInhibitor()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void LogindSleepWatch::prepareForSleep(bool start)
{
    if (!start) {
        // Awake again: hold a delay for the next sleep.
        if (m_fd < 0) takeInhibitor();
        return;
    }
    const int fd = m_fd;
    m_fd = -1;
    // The delay lasts as long as the listener keeps it; closing the descriptor releases it.
    Delay delay(nullptr, [fd](void*) {
        if (fd >= 0) ::close(fd);
    });
    if (m_willSleep) m_willSleep(std::move(delay));
}
