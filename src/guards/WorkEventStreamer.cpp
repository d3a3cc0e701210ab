#include "guards/WorkEventStreamer.h"

#include "core/CFormat.h"
#include "core/Log.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_ATTRIB | IN_ONLYDIR |
                           IN_DONT_FOLLOW | IN_EXCL_UNLINK;
constexpr auto kOwnWriteWindow = std::chrono::seconds(10);

}  // namespace

WorkEventStreamer::WorkEventStreamer() : WorkEventStreamer(Options{}) {}

WorkEventStreamer::WorkEventStreamer(Options options) : m_options(options) {}

WorkEventStreamer::~WorkEventStreamer() { stop(); }

const QStringList& WorkEventStreamer::skippedFolderNames()
{
    static const QStringList names = {
        QStringLiteral("node_modules"), QStringLiteral(".git"),   QStringLiteral("build"),
        QStringLiteral("DerivedData"),  QStringLiteral(".next"),  QStringLiteral("target"),
        QStringLiteral(".venv"),        QStringLiteral("__pycache__"), QStringLiteral(".cache"),
        QStringLiteral(".npm"),         QStringLiteral(".gradle"),
    };
    return names;
}

bool WorkEventStreamer::isInSkippedFolder(const QString& path)
{
    const QStringList pieces = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        if (skippedFolderNames().contains(piece)) return true;
    }
    return false;
}

void WorkEventStreamer::start(const QStringList& folders)
{
    stop();
    if (folders.isEmpty()) return;
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wake = m_inotify >= 0 ? ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC) : -1;
    if (m_inotify < 0 || m_wake < 0) {
        if (m_inotify >= 0) ::close(m_inotify);
        m_inotify = -1;
        Log::line(cformat("[WorkGuard] FSEventStreamCreate failed for %d roots", int(folders.size())));
        return;
    }
    m_stopping = false;
    m_limitReported = false;
    m_watchCount = 0;
    m_running = true;
    m_thread = std::thread([this, folders] { run(folders); });
    Log::line(cformat("[WorkGuard] FSEvents started on %d roots latency=%.1fs", int(folders.size()), m_options.latency));
}

void WorkEventStreamer::stop()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_inotify >= 0) ::close(m_inotify);
    if (m_wake >= 0) ::close(m_wake);
    m_inotify = m_wake = -1;
    m_watches.clear();
    m_running = false;
}

void WorkEventStreamer::noteOwnWrite(const QString& path)
{
    std::lock_guard lock(m_ownMutex);
    const SteadyTime now = std::chrono::steady_clock::now();
    for (auto it = m_ownWrites.begin(); it != m_ownWrites.end();) {
        it = it->second < now ? m_ownWrites.erase(it) : std::next(it);
    }
    m_ownWrites[path] = now + kOwnWriteWindow;
}

bool WorkEventStreamer::isOwnWrite(const QString& path)
{
    std::lock_guard lock(m_ownMutex);
    const auto it = m_ownWrites.find(path);
    return it != m_ownWrites.end() && it->second >= std::chrono::steady_clock::now();
}

void WorkEventStreamer::run(QStringList folders)
{
    QSet<QString> pending;
    for (const QString& folder : folders) {
        if (m_stopping) return;
        watchTree(QDir::cleanPath(folder), false, pending);
    }

    const auto latency = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(m_options.latency));
    SteadyTime lastDelivery = SteadyTime::min();
    bool delivered = false;
    while (!m_stopping) {
        const SteadyTime now = std::chrono::steady_clock::now();
        int timeout = -1;
        if (!pending.isEmpty()) {
            const SteadyTime due = delivered ? lastDelivery + latency : now;
            timeout = due <= now ? 0
                                 : int(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
        }
        if (timeout != 0) {
            pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake, POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0 && errno != EINTR) break;
            if (m_stopping) break;
            if (ready > 0 && (fds[0].revents & POLLIN)) readEvents(pending);
        }
        const SteadyTime after = std::chrono::steady_clock::now();
        if (!pending.isEmpty() && (!delivered || after >= lastDelivery + latency)) {
            QSet<QString> batch;
            batch.swap(pending);
            lastDelivery = after;
            delivered = true;
            if (onChanges) onChanges(batch);
        }
    }
}

void WorkEventStreamer::watchTree(const QString& folder, bool reportFiles, QSet<QString>& pending)
{
    if (m_stopping || isInSkippedFolder(folder)) return;
    if (m_options.maxWatches > 0 && m_watchCount.load() >= m_options.maxWatches) {
        errno = ENOSPC;
    } else {
        const int wd = ::inotify_add_watch(m_inotify, QFile::encodeName(folder).constData(), kMask);
        if (wd >= 0) {
            if (!m_watches.count(wd)) ++m_watchCount;
            m_watches[wd] = folder;
            errno = 0;
        }
    }
    if (errno == ENOSPC) {
        if (!m_limitReported) {
            m_limitReported = true;
            Log::line(cformat("[WorkGuard] inotify watch limit reached after %d folders; folders beyond it are covered by "
                              "the periodic sweep only",
                              m_watchCount.load()));
        }
        return;
    }
    if (errno != 0) return;

    // Listed after the watch is in place, so nothing created meanwhile is missed.
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) return;
    std::vector<QString> subfolders;
    while (dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..")) continue;
        const QString path = folder + QLatin1Char('/') + QFile::decodeName(name);
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            subfolders.push_back(path);
        } else if (type == DT_REG && reportFiles && !isInSkippedFolder(path) && !isOwnWrite(path)) {
            pending.insert(path);
        }
    }
    ::closedir(dir);
    for (const QString& sub : subfolders) watchTree(sub, reportFiles, pending);
}

void WorkEventStreamer::unwatchTree(const QString& folder)
{
    const QString prefix = folder + QLatin1Char('/');
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (it->second == folder || it->second.startsWith(prefix)) {
            ::inotify_rm_watch(m_inotify, it->first);
            --m_watchCount;
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
}

void WorkEventStreamer::readEvents(QSet<QString>& pending)
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0) return;
        for (ssize_t offset = 0; offset < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                Log::line(QStringLiteral("[WorkGuard] inotify queue overflowed; the periodic sweep covers what was lost"));
                continue;
            }
            const auto it = m_watches.find(event->wd);
            if (event->mask & IN_IGNORED) {
                if (it != m_watches.end()) {
                    m_watches.erase(it);
                    --m_watchCount;
                }
                continue;
            }
            if (it == m_watches.end() || event->len == 0) continue;
            const QString path = it->second + QLatin1Char('/') + QFile::decodeName(event->name);
            if (event->mask & IN_ISDIR) {
                // Folders are not reported; a new one is watched and its files are news.
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) watchTree(path, true, pending);
                if (event->mask & IN_MOVED_FROM) unwatchTree(path);
                continue;
            }
            // A file only created is still being written: its closing write reports it.
            if (event->mask == IN_CREATE) continue;
            if (isInSkippedFolder(path) || isOwnWrite(path)) continue;
            pending.insert(path);
        }
    }
}
