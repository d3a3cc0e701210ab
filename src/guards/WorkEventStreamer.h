#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

// The file events of the watched folders, for Work Guard: an inotify watch on every folder
// below them, files reported when a writer closes them, when they are moved or renamed (old
// and new path) and when their attributes change. A folder that appears is watched from then
// on; the files it brought with it are not reported (a moved-in or unpacked folder is not a
// save). Removals, folders, build and dependency folders and our own writes are left out.
// Changes are handed on once the watched folders have been quiet for `settle` seconds, so a
// save made in steps arrives when it is done and a bulk writer arrives as one set; a file
// written without pause holds the others back for `maxHold` seconds at most. After a
// delivery the next waits at least `latency` seconds.
// A root that is a symbolic link is resolved when the stream starts, and again when the
// folder it leads to is moved or deleted or the root's name is given to another folder; below
// a root no link is followed. Everything runs on the streamer's own thread, where `onChanges`
// and `onRootsResolved` are called.
class WorkEventStreamer {
public:
    struct Options {
        double latency = 2.0;
        // How long the folders must go without events before changes are handed on.
        double settle = 1.0;
        // A change waits no longer than this for the others to settle.
        double maxHold = 10.0;
        // The most watches to place; 0 leaves it to the kernel's limit. Reaching either is
        // reported once per start, and the folders left unwatched are covered by sweeps only.
        int maxWatches = 0;
    };

    WorkEventStreamer();
    explicit WorkEventStreamer(Options options);
    ~WorkEventStreamer();
    WorkEventStreamer(const WorkEventStreamer&) = delete;
    WorkEventStreamer& operator=(const WorkEventStreamer&) = delete;

    static const QStringList& skippedFolderNames();
    static bool isInSkippedFolder(const QString& path);

    // Set before start(); not changed while running.
    std::function<void(const QSet<QString>&)> onChanges;
    // The real folders the roots lead to, in the order given (empty for a root that does not
    // exist), at start and after each change.
    std::function<void(const QStringList&)> onRootsResolved;
    // A root's own link resolved: the real folder it names, or empty.
    static QString resolveRoot(const QString& root);

    // Replaces a running stream. No folders: nothing runs.
    void start(const QStringList& folders);
    void stop();
    bool isRunning() const { return m_running.load(); }
    double latency() const { return m_options.latency; }
    // Folders watched so far (the first walk runs on the streamer's thread).
    int watchCount() const { return m_watchCount.load(); }

    // A path this process is about to write: its events of the next few seconds are dropped.
    void noteOwnWrite(const QString& path);

private:
    using SteadyTime = std::chrono::steady_clock::time_point;

    struct Pending {
        SteadyTime first, last;
    };
    using PendingMap = std::unordered_map<QString, Pending>;
    struct Root {
        QString configured;
        QString resolved;
        int parentWd = -1;
        QString leaf;
    };

    void run(QStringList folders);
    int watchTree(const QString& folder);
    void unwatchTree(const QString& folder);
    void readEvents(PendingMap& pending);
    void resolveAgain(size_t root);
    void announceRoots();
    bool isOwnWrite(const QString& path);

    Options m_options;
    int m_inotify = -1;
    int m_wake = -1;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_watchCount{0};
    bool m_limitReported = false;
    std::unordered_map<int, QString> m_watches;  // thread-only
    std::vector<Root> m_roots;                    // thread-only

    std::mutex m_ownMutex;
    std::unordered_map<QString, SteadyTime> m_ownWrites;
};
