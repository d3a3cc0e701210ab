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

constexpr uint32_t kMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_ATTRIB | IN_MOVE_SELF |
                           IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
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
        const int error = errno;
        if (m_inotify >= 0) ::close(m_inotify);
        m_inotify = -1;
        Log::line(cformat("[WorkGuard] inotify could not be set up for %d roots: %s", int(folders.size()),
                          std::strerror(error)));
        return;
    }
    m_stopping = false;
    m_limitReported = false;
    m_watchCount = 0;
    m_running = true;
    m_thread = std::thread([this, folders] { run(folders); });
    Log::line(cformat("[WorkGuard] inotify started on %d roots latency=%.1fs", int(folders.size()), m_options.latency));
}

QString WorkEventStreamer::resolveRoot(const QString& root)
{
    char buffer[PATH_MAX];
    if (!::realpath(QFile::encodeName(root).constData(), buffer)) return {};
    struct stat st;
    if (::stat(buffer, &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    return QFile::decodeName(buffer);
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
    m_roots.clear();
    for (const QString& folder : folders) {
        Root root;
        root.configured = QDir::cleanPath(folder);
        root.leaf = root.configured.section(QLatin1Char('/'), -1);
        // The root's name in its parent: another folder or link given that name replaces it.
        const QString parent = root.configured.section(QLatin1Char('/'), 0, -2);
        root.parentWd = ::inotify_add_watch(m_inotify, QFile::encodeName(parent.isEmpty() ? QStringLiteral("/") : parent).constData(),
                                            IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR | IN_MASK_ADD);
        m_roots.push_back(root);
    }
    for (size_t i = 0; i < m_roots.size() && !m_stopping; ++i) {
        m_roots[i].resolved = resolveRoot(m_roots[i].configured);
        if (!m_roots[i].resolved.isEmpty()) watchTree(m_roots[i].resolved);
    }
    announceRoots();

    const auto toDuration = [](double seconds) {
        return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    };
    const auto latency = toDuration(m_options.latency);
    const auto settle = toDuration(m_options.settle);
    const auto maxHold = toDuration(m_options.maxHold);
    PendingMap pending;
    SteadyTime lastDelivery = SteadyTime::min();
    bool delivered = false;
    // The set goes when all of it has settled, so a bulk writer arrives as one batch; a file
    // that keeps changing holds the others back no longer than `maxHold`.
    const auto dueAt = [&] {
        SteadyTime settled = SteadyTime::min(), held = SteadyTime::max();
        for (const auto& [path, p] : pending) {
            settled = std::max(settled, p.last + settle);
            held = std::min(held, p.first + maxHold);
        }
        const SteadyTime due = std::min(settled, held);
        return delivered ? std::max(due, lastDelivery + latency) : due;
    };
    while (!m_stopping) {
        const SteadyTime now = std::chrono::steady_clock::now();
        int timeout = -1;
        if (!pending.empty()) {
            const SteadyTime due = dueAt();
            timeout = due <= now ? 0 : int(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
        }
        pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) break;
        if (m_stopping) break;
        if (ready > 0 && (fds[0].revents & POLLIN)) readEvents(pending);
        const SteadyTime after = std::chrono::steady_clock::now();
        if (pending.empty() || dueAt() > after) continue;
        QSet<QString> batch;
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->second.last + settle <= after || it->second.first + maxHold <= after) {
                batch.insert(it->first);
                it = pending.erase(it);
            } else {
                ++it;
            }
        }
        if (batch.isEmpty()) continue;
        lastDelivery = after;
        delivered = true;
        if (onChanges) onChanges(batch);
    }
}

void WorkEventStreamer::announceRoots()
{
    QStringList resolved;
    for (const Root& r : m_roots) resolved << r.resolved;
    if (onRootsResolved) onRootsResolved(resolved);
}

void WorkEventStreamer::resolveAgain(size_t index)
{
    Root& root = m_roots[index];
    const QString now = resolveRoot(root.configured);
    bool watched = false;
    for (const auto& [wd, path] : m_watches) watched = watched || path == root.resolved;
    if (now == root.resolved && watched) return;
    if (!root.resolved.isEmpty()) unwatchTree(root.resolved);
    root.resolved = now;
    if (!now.isEmpty()) {
        Log::line(QStringLiteral("[WorkGuard] root ") + root.configured + QStringLiteral(" now leads to ") + now);
        watchTree(now);
    }
    announceRoots();
}

int WorkEventStreamer::watchTree(const QString& folder)
{
    if (m_stopping || isInSkippedFolder(folder)) return -1;
    int wd = -1;
    if (m_options.maxWatches > 0 && m_watchCount.load() >= m_options.maxWatches) {
        errno = ENOSPC;
    } else {
        wd = ::inotify_add_watch(m_inotify, QFile::encodeName(folder).constData(), kMask);
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
        return -1;
    }
    if (errno != 0) return -1;

    // Listed after the watch is in place, so no folder created meanwhile is missed. The
    // files already there are not news.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return wd;
    }
    std::vector<QString> subfolders;
    while (dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..")) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_DIR) subfolders.push_back(folder + QLatin1Char('/') + QFile::decodeName(name));
    }
    ::closedir(dir);
    for (const QString& sub : subfolders) watchTree(sub);
    return wd;
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

void WorkEventStreamer::readEvents(PendingMap& pending)
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
            // The root's name in its parent was taken by another folder or link, or let go.
            for (size_t i = 0; i < m_roots.size(); ++i) {
                if (event->wd == m_roots[i].parentWd && event->len > 0 &&
                    QFile::decodeName(event->name) == m_roots[i].leaf)
                    resolveAgain(i);
            }
            const auto it = m_watches.find(event->wd);
            if ((event->mask & (IN_MOVE_SELF | IN_DELETE_SELF)) && it != m_watches.end()) {
                const QString moved = it->second;
                for (size_t i = 0; i < m_roots.size(); ++i) {
                    if (m_roots[i].resolved == moved) resolveAgain(i);
                }
                continue;
            }
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
                // Folders are not reported; a new one is watched from now on.
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) watchTree(path);
                if (event->mask & IN_MOVED_FROM) unwatchTree(path);
                continue;
            }
            const SteadyTime now = std::chrono::steady_clock::now();
            // A file only created is still being written: its closing write reports it. Any
            // event of a file already waiting tells that it is not done yet.
            if (event->mask == IN_CREATE) {
                if (const auto p = pending.find(path); p != pending.end()) p->second.last = now;
                continue;
            }
            if (isInSkippedFolder(path) || isOwnWrite(path)) continue;
            const auto [p, inserted] = pending.try_emplace(path, Pending{now, now});
            if (!inserted) p->second.last = now;
        }
    }
}
