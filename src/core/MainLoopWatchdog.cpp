#include "core/MainLoopWatchdog.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

#ifdef NDEBUG
constexpr bool kOptimised = true;
#else
constexpr bool kOptimised = false;
#endif

QString eventName(int type)
{
    const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    return name ? QString::fromLatin1(name) : QString::number(type);
}

}  // namespace

MainLoopWatchdog& MainLoopWatchdog::instance()
{
    static MainLoopWatchdog watchdog;
    return watchdog;
}

int MainLoopWatchdog::defaultBoundMs()
{
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("VELTRANMOOR_WATCHDOG_MS", &ok);
    if (ok && fromEnvironment > 0) return fromEnvironment;
    if (kSanitized || !kOptimised || !qEnvironmentVariableIsEmpty("CI")) return 200;
    return 50;
}

void MainLoopWatchdog::install()
{
    if (m_installed || !onMainThread()) return;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread());
    if (!dispatcher) return;
    m_installed = true;
    // The main thread's own accounting: how long it waited for a core while runnable.
    m_schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    // A loop about to wait is a responsive thread: whatever event is still open around a nested
    // loop (a dialog's, a test's wait) stops counting until the loop wakes again.
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, [this] { closeBeat(); },
                     Qt::DirectConnection);
    QObject::connect(
        dispatcher, &QAbstractEventDispatcher::awake, dispatcher,
        [this] {
            if (!m_beatOpen && !m_events.isEmpty()) openBeat(m_events.last());
        },
        Qt::DirectConnection);
}

void MainLoopWatchdog::beginEvent(QObject* receiver, const QEvent* event)
{
    Frame frame{receiver->metaObject()->className(), receiver->objectName(), int(event->type())};
    if (!m_beatOpen) {
        openBeat(frame);
        // A window's first frame is start-up work (fonts, symbols) before anything can be
        // clicked; its figure is the start-up benchmark's.
        if (event->type() == QEvent::Expose && receiver->isWindowType() && !m_exposedWindows.contains(receiver)) {
            m_exposedWindows.insert(receiver);
            QObject::connect(receiver, &QObject::destroyed, receiver,
                             [this, receiver] { m_exposedWindows.remove(receiver); });
            m_beatExcused = true;
        }
    }
    m_events.append(std::move(frame));
}

void MainLoopWatchdog::endEvent()
{
    if (!m_events.isEmpty()) m_events.removeLast();
    if (m_events.isEmpty() && !m_marker) closeBeat();
}

void MainLoopWatchdog::openBeat(std::optional<Frame> event)
{
    m_beatOpen = true;
    m_beatEvent = std::move(event);
    m_beatMarker = m_marker;
    m_beatExcused = false;
    m_beatWaitNs = runqueueWaitNs();
    m_beat.start();
}

void MainLoopWatchdog::closeBeat()
{
    if (!m_beatOpen) return;
    m_beatOpen = false;
    // Time spent waiting for a core is the machine's load, not the application's work: a busy
    // build machine must not turn into stalls. Blocking (a lock, a file, a child) still counts.
    const qint64 waited = qint64(runqueueWaitNs() - m_beatWaitNs);
    const double ms = double(m_beat.nsecsElapsed() - std::max<qint64>(0, waited)) / 1e6;
    if (ms <= m_boundMs || m_beatExcused) return;
    // Named only now: most beats are short and need no text.
    QString event;
    if (m_beatEvent)
        event = QString::fromLatin1(m_beatEvent->className) + QStringLiteral(" '") + m_beatEvent->objectName +
                QStringLiteral("' ") + eventName(m_beatEvent->eventType);
    QString what = m_beatMarker ? QString::fromLatin1(m_beatMarker) : event;
    if (m_beatMarker && !event.isEmpty()) what += QStringLiteral(" (in ") + event + QStringLiteral(")");
    Stall stall{ms, what};
    {
        QMutexLocker lock(&m_mutex);
        m_stalls.append(stall);
    }
    if (m_reporter) m_reporter(stall);
}

uint64_t MainLoopWatchdog::runqueueWaitNs() const
{
    if (m_schedstat < 0) return 0;
    char buffer[96];
    const ssize_t n = ::pread(m_schedstat, buffer, sizeof buffer - 1, 0);
    if (n <= 0) return 0;
    buffer[n] = 0;
    // "<ns on a core> <ns waiting for one> <slices>"
    unsigned long long running = 0, waiting = 0;
    if (std::sscanf(buffer, "%llu %llu", &running, &waiting) != 2) return 0;
    return waiting;
}

QList<MainLoopWatchdog::Stall> MainLoopWatchdog::stalls() const
{
    QMutexLocker lock(&m_mutex);
    return m_stalls;
}

QList<MainLoopWatchdog::Stall> MainLoopWatchdog::takeStalls()
{
    QMutexLocker lock(&m_mutex);
    return std::exchange(m_stalls, {});
}

QString MainLoopWatchdog::describe(const QList<Stall>& stalls)
{
    QStringList lines;
    for (const Stall& s : stalls) lines << QString::asprintf("%.0f ms in ", s.ms) + s.what;
    return lines.join(QLatin1Char('\n'));
}

MainLoopWatchdog::Scope::Scope(const char* what)
{
    MainLoopWatchdog& w = instance();
    if (!w.m_installed || !onMainThread()) return;
    m_opened = true;
    m_previous = w.m_marker;
    // The outermost marker inside a beat names it: that is the work that was asked for.
    if (!w.m_beatOpen) {
        w.m_marker = what;
        w.openBeat(std::nullopt);
        return;
    }
    if (!w.m_beatMarker) w.m_beatMarker = what;
    w.m_marker = what;
}

MainLoopWatchdog::Scope::~Scope()
{
    if (!m_opened) return;
    MainLoopWatchdog& w = instance();
    w.m_marker = m_previous;
    if (w.m_events.isEmpty() && !w.m_marker) w.closeBeat();
}
