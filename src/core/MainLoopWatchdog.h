#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QThread>

#include <functional>
#include <optional>

class QEvent;

// Times the main thread's work so that a freeze of the window cannot go unnoticed: every event
// delivered on the main thread (from the loop, or sent by a test from outside any event) and
// every marked scope is one beat; a beat longer than the bound is a stall, recorded with what
// was running (the outermost marked scope inside it, else the event's receiver). While a nested
// loop waits for more events the thread is responsive again, so the time spent waiting is not
// counted; nor is a window's first frame, painted before anything in it can be clicked; nor the
// time the thread waited for a core on a loaded machine.
class MainLoopWatchdog {
public:
    struct Stall {
        double ms = 0;
        QString what;
    };

    // Marks a piece of main-thread work by name; a stall that happens inside it carries the name.
    // Outside any event the scope is timed on its own.
    class Scope {
    public:
        explicit Scope(const char* what);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        bool m_opened = false;
        const char* m_previous = nullptr;
    };

    static MainLoopWatchdog& instance();

    // 50 ms in an optimised build; 200 ms under the sanitizers, in debug builds and on CI, where
    // everything is several times slower but a real freeze (hundreds of ms) still shows.
    // VELTRANMOOR_WATCHDOG_MS overrides both.
    static int defaultBoundMs();

    // Starts watching the application's main thread; until then nothing is timed.
    void install();
    bool installed() const { return m_installed; }

    int boundMs() const { return m_boundMs; }
    void setBoundMs(int ms) { m_boundMs = ms; }

    // Called for each stall as it ends, on the main thread (the debug build logs it).
    void setReporter(std::function<void(const Stall&)> reporter) { m_reporter = std::move(reporter); }

    QList<Stall> stalls() const;
    QList<Stall> takeStalls();
    static QString describe(const QList<Stall>& stalls);

    // Called by the application's notify on the main thread only.
    void beginEvent(QObject* receiver, const QEvent* event);
    void endEvent();

private:
    MainLoopWatchdog() = default;
    struct Frame {
        const char* className;
        QString objectName;
        int eventType;
    };
    void openBeat(std::optional<Frame> event);
    void closeBeat();
    uint64_t runqueueWaitNs() const;

    bool m_installed = false;
    int m_boundMs = defaultBoundMs();
    std::function<void(const Stall&)> m_reporter;

    // Main thread only.
    QList<Frame> m_events;
    const char* m_marker = nullptr;
    bool m_beatOpen = false;
    std::optional<Frame> m_beatEvent;
    const char* m_beatMarker = nullptr;
    bool m_beatExcused = false;
    uint64_t m_beatWaitNs = 0;
    int m_schedstat = -1;
    QSet<QObject*> m_exposedWindows;
    QElapsedTimer m_beat;

    mutable QMutex m_mutex;
    QList<Stall> m_stalls;
};

// An application whose event delivery on the main thread is timed by the watchdog.
template <class Base>
class WatchedApplication : public Base {
public:
    WatchedApplication(int& argc, char** argv) : Base(argc, argv) { MainLoopWatchdog::instance().install(); }

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (QThread::currentThread() != this->thread()) return Base::notify(receiver, event);
        MainLoopWatchdog& watchdog = MainLoopWatchdog::instance();
        watchdog.beginEvent(receiver, event);
        struct End {
            MainLoopWatchdog& w;
            ~End() { w.endEvent(); }
        } end{watchdog};
        return Base::notify(receiver, event);
    }
};
