#include "guards/TavrilonWatcher.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/MainThread.h"
#include "core/SerialQueue.h"
#include "core/Trash.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString folderMissing = QStringLiteral("Folder missing \u2014 skipped");
const QString unreadableFolder = QStringLiteral("Could not read folder");

struct Entry {
    QByteArray name;
    bool regular = false;
    std::optional<int64_t> mtime;  // seconds since 1970
    int64_t size = 0;
};

int64_t mtimeOf(const struct stat& st) { return int64_t(st.st_mtim.tv_sec); }

std::optional<struct stat> statAt(int dirFd, const QByteArray& name)
{
    struct stat st {};
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return st;
}

// The folder's direct children, hidden ones left out, in the file system's order.
std::optional<std::vector<Entry>> listFolder(int folderFd)
{
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return std::nullopt;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return std::nullopt;
    }
    std::vector<Entry> entries;
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        if (d->d_name[0] == '.') continue;
        Entry e;
        e.name = QByteArray(d->d_name);
        if (const auto st = statAt(folderFd, e.name)) {
            e.regular = S_ISREG(st->st_mode);
            e.mtime = mtimeOf(*st);
            e.size = int64_t(st->st_size);
        }
        entries.push_back(std::move(e));
        errno = 0;
    }
    const bool failed = errno != 0;
    ::closedir(dir);
    if (failed) return std::nullopt;
    return entries;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

int openFileAt(int dirFd, const QByteArray& relative)
{
    return ::openat(dirFd, relative.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
}

ssize_t readFully(int fd, char* buffer, size_t capacity)
{
    size_t held = 0;
    while (held < capacity) {
        const ssize_t n = ::read(fd, buffer + held, capacity - held);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        held += size_t(n);
    }
    return ssize_t(held);
}

// Size and a hash of the first 64 KiB: cheap, and only a hint; equal contents are confirmed
// byte for byte before anything is trashed.
std::optional<QString> fingerprint(int folderFd, const QByteArray& name)
{
    const Fd fd(openFileAt(folderFd, name));
    if (!fd.valid()) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    QByteArray head(TavrilonWatcher::fingerprintBytes, Qt::Uninitialized);
    ssize_t n = readFully(fd.get(), head.data(), size_t(head.size()));
    if (n < 0) n = 0;
    head.truncate(n);
    return QString::number(int64_t(st.st_size)) + QLatin1Char('-') + QString::number(qHash(head));
}

bool sameContents(int folderFd, const QByteArray& a, const QByteArray& b)
{
    const Fd fa(openFileAt(folderFd, a));
    const Fd fb(openFileAt(folderFd, b));
    if (!fa.valid() || !fb.valid()) return false;
    struct stat sa {}, sb {};
    if (::fstat(fa.get(), &sa) != 0 || ::fstat(fb.get(), &sb) != 0) return false;
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size) return false;
    // Two names for one file are not two copies.
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) return false;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    for (;;) {
        const ssize_t na = readFully(fa.get(), ba.data(), ba.size());
        const ssize_t nb = readFully(fb.get(), bb.data(), bb.size());
        if (na < 0 || nb < 0 || na != nb) return false;
        if (na == 0) return true;
        if (std::memcmp(ba.data(), bb.data(), size_t(na)) != 0) return false;
    }
}

QByteArray collisionName(const QByteArray& name)
{
    const QFileInfo info(QFile::decodeName(name));
    const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(6);
    return QFile::encodeName(info.completeBaseName() + QLatin1Char('-') + tag + QLatin1Char('.') + info.suffix().toLower());
}

}  // namespace

// One sweep on the worker: the due targets carried over, and what each one came to.
struct TavrilonWatcher::Sweep {
    QList<TavrilonWatchTarget> targets;
    QDateTime now;
};

TavrilonWatcher::TavrilonWatcher(Collaborators c, QObject* parent)
    : QObject(parent), m_c(std::move(c)), m_cancelled(std::make_shared<std::atomic<bool>>(false)),
      m_worker(std::make_unique<SerialQueue>(QStringLiteral("Tavrilon Watchers")))
{
}

TavrilonWatcher::~TavrilonWatcher()
{
    if (m_timer) m_timer->cancel();
    // A sweep under way stops after its current file; the worker is joined next.
    m_cancelled->store(true);
    m_worker.reset();
}

const QHash<QString, QString>& TavrilonWatcher::extensionCategories()
{
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        const std::pair<const char*, const char*> rows[] = {
            {"Images", "jpg jpeg png gif heic webp tiff bmp"},
            {"Documents", "pdf doc docx txt md rtf pages key numbers csv xlsx pptx"},
            {"Archives", "zip tar gz dmg 7z rar pkg"},
            {"Media", "mp4 mov m4v avi mkv mp3 wav m4a aiff"},
            {"Code", "py js ts sh json swift go rb rs c cpp h java html css yml yaml toml"},
        };
        for (const auto& [category, extensions] : rows) {
            for (const QString& ext : QString::fromLatin1(extensions).split(QLatin1Char(' ')))
                t.insert(ext, QString::fromLatin1(category));
        }
        return t;
    }();
    return table;
}

const QStringList& TavrilonWatcher::allowedCategories()
{
    static const QStringList words = {QStringLiteral("Images"), QStringLiteral("Documents"), QStringLiteral("Archives"),
                                      QStringLiteral("Media"),  QStringLiteral("Code"),      QStringLiteral("Other")};
    return words;
}

QString TavrilonWatcher::categoryPrompt(const QString& fileName)
{
    return QStringLiteral("Reply with EXACTLY ONE word from this list and nothing else: Images Documents Archives Media "
                          "Code Other. Which best categorizes a file named \"") +
           fileName + QStringLiteral("\"?");
}

std::optional<QString> TavrilonWatcher::categoryFromReply(const QString& reply)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList words = reply.trimmed().split(space, Qt::SkipEmptyParts);
    if (words.isEmpty() || !allowedCategories().contains(words.first())) return std::nullopt;
    return words.first();
}

QString TavrilonWatcher::outcomeText(int sorted, int trashed)
{
    if (sorted == 0 && trashed == 0) return QStringLiteral("Already tidy");
    QString text = QStringLiteral("Sorted ") + QString::number(sorted) + QStringLiteral(" file(s)");
    if (trashed >= 1) text += QStringLiteral(", trashed ") + QString::number(trashed) + QStringLiteral(" duplicate(s)");
    return text;
}

void TavrilonWatcher::startWatching()
{
    if (m_isRunning) return;
    m_isRunning = true;
    m_timer = m_c.scheduler.every(checkInterval, this, [this] { sweepDueTargets(); });
    Q_EMIT changed();
    sweepDueTargets();
}

void TavrilonWatcher::stopWatching()
{
    if (m_timer) {
        m_timer->cancel();
        m_timer.reset();
    }
    m_isRunning = false;
    Q_EMIT changed();
}

void TavrilonWatcher::sweepDueTargets()
{
    const QDateTime now = m_c.clock.now();
    m_lastTickAt = now;
    Q_EMIT changed();
    if (!m_c.settings.tavrilonWatcherEnabled()) return;
    if (m_sweeping) return;
    QList<TavrilonWatchTarget> due;
    for (const TavrilonWatchTarget& t : m_c.settings.tavrilonWatchedFolders()) {
        if (!t.enabled) continue;
        if (!t.lastMaintainedAt || t.lastMaintainedAt->secsTo(now) >= t.intervalHours * 3600) due.append(t);
    }
    if (due.isEmpty()) return;
    m_sweeping = true;

    QPointer<TavrilonWatcher> self(this);
    auto cancelled = m_cancelled;
    m_worker->async([this, self, cancelled, sweep = Sweep{due, now}] {
        QList<QPair<QUuid, QString>> results;
        for (const TavrilonWatchTarget& target : sweep.targets) {
            if (cancelled->load()) return;
            const QString folder = target.path.toLocalFile();
            QString outcome;
            if (folder.isEmpty() || !QFileInfo::exists(folder)) {
                outcome = folderMissing;
            } else {
                const Fd folderFd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                const auto entries = folderFd.valid() ? listFolder(folderFd.get()) : std::nullopt;
                if (!entries) {
                    outcome = unreadableFolder;
                } else {
                    int sorted = 0;
                    int trashed = 0;
                    // Fingerprint to where the files with it now are, relative to the folder.
                    QHash<QString, QList<QByteArray>> seen;
                    const int64_t nowSecs = sweep.now.toSecsSinceEpoch();
                    for (const Entry& entry : *entries) {
                        if (cancelled->load()) return;
                        if (!entry.regular) continue;
                        if (entry.mtime && nowSecs - *entry.mtime < restingSeconds) continue;
                        const std::optional<QString> print = fingerprint(folderFd.get(), entry.name);
                        if (print) {
                            bool duplicate = false;
                            for (const QByteArray& kept : seen.value(*print)) {
                                if (!sameContents(folderFd.get(), kept, entry.name)) continue;
                                duplicate = true;
                                if (Trash::moveAt(folderFd.get(), folder, entry.name).ok()) ++trashed;
                                break;
                            }
                            if (duplicate) continue;
                        }
                        const QString fileName = QFile::decodeName(entry.name);
                        const QString extension = QFileInfo(fileName).suffix().toLower();
                        QString category = extensionCategories().value(extension);
                        if (category.isEmpty()) category = askModelForCategory(fileName).value_or(QStringLiteral("Other"));
                        const QByteArray categoryName = QFile::encodeName(category);
                        ::mkdirat(folderFd.get(), categoryName.constData(), 0777);
                        const Fd categoryFd(::openat(folderFd.get(), categoryName.constData(),
                                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                        QByteArray location = entry.name;
                        // Written to since the listing, or still being written: left alone.
                        const auto current = statAt(folderFd.get(), entry.name);
                        const bool unchanged = current && S_ISREG(current->st_mode) &&
                                               int64_t(current->st_size) == entry.size &&
                                               (!entry.mtime || mtimeOf(*current) == *entry.mtime);
                        if (categoryFd.valid() && unchanged) {
                            QByteArray target = entry.name;
                            int moved = ::renameat2(folderFd.get(), entry.name.constData(), categoryFd.get(),
                                                    target.constData(), RENAME_NOREPLACE);
                            if (moved != 0 && errno == EEXIST) {
                                target = collisionName(entry.name);
                                moved = ::renameat2(folderFd.get(), entry.name.constData(), categoryFd.get(),
                                                    target.constData(), RENAME_NOREPLACE);
                            }
                            if (moved == 0) {
                                ++sorted;
                                location = categoryName + '/' + target;
                            }
                        }
                        if (print) seen[*print].append(location);
                    }
                    outcome = outcomeText(sorted, trashed);
                }
            }
            results.append({target.id, outcome});
        }
        if (self) {
            postTo(self.get(), [self, results] {
                if (self) self->recordOutcomes(results);
            });
        }
    });
}

std::optional<QString> TavrilonWatcher::askModelForCategory(const QString& fileName)
{
    // The answer arrives on the main thread; a question dropped unanswered (the watcher or the
    // router gone) counts as no answer.
    struct Slot {
        std::promise<std::optional<QString>> promise;
        std::atomic<bool> set{false};
        void deliver(std::optional<QString> value)
        {
            if (!set.exchange(true)) promise.set_value(std::move(value));
        }
        ~Slot() { deliver(std::nullopt); }
    };
    auto slot = std::make_shared<Slot>();
    std::future<std::optional<QString>> answer = slot->promise.get_future();
    const QString prompt = categoryPrompt(fileName);
    postTo(this, [this, slot, prompt]() mutable {
        m_c.askModel(prompt, [slot](std::optional<QString> reply) {
            slot->deliver(reply ? categoryFromReply(*reply) : std::nullopt);
        });
    });
    slot.reset();
    while (answer.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (m_cancelled->load()) return std::nullopt;
    }
    return answer.get();
}

void TavrilonWatcher::recordOutcomes(const QList<QPair<QUuid, QString>>& results)
{
    for (const auto& [id, outcome] : results) {
        QList<TavrilonWatchTarget> targets = m_c.settings.tavrilonWatchedFolders();
        const auto it = std::find_if(targets.begin(), targets.end(), [&](const TavrilonWatchTarget& t) { return t.id == id; });
        if (it == targets.end()) continue;
        it->lastMaintainedAt = m_c.clock.now();
        it->lastOutcome = outcome;
        m_c.settings.setTavrilonWatchedFolders(targets);
    }
    m_sweeping = false;
    Q_EMIT sweepFinished();
}
