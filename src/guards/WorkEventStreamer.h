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

// The file events of the watched folders, for Work Guard: an inotify watch on every folder
// below them (new folders are picked up as they appear), files reported when a writer closes
// them, when they are moved or renamed (old and new path) and when their attributes change.
// Removals, folders, build and dependency folders and our own writes are left out. The first
// change after a quiet spell is handed on at once; later ones are gathered for `latency`
// seconds and handed on as one set. Everything runs on the streamer's own thread, where
// `onChanges` is called.
class WorkEventStreamer {
public:
    struct Options {
        double latency = 2.0;
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

    void run(QStringList folders);
    void watchTree(const QString& folder, bool reportFiles, QSet<QString>& pending);
    void unwatchTree(const QString& folder);
    void readEvents(QSet<QString>& pending);
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

    std::mutex m_ownMutex;
    std::unordered_map<QString, SteadyTime> m_ownWrites;
};
