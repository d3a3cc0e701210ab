#include "core/Trash.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <optional>
#include <vector>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Trash {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

Fd::~Fd()
{
    if (m_fd >= 0) ::close(m_fd);
}

int Fd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

namespace {

constexpr int kStep = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kListable = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr const char kPartialPrefix[] = ".veltranmoor-partial-";
constexpr const char kInfoSuffix[] = ".trashinfo";
constexpr int kNameMax = 255;

bool isDirectory(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

// One step down without following a link; the result must be a folder.
Fd stepInto(int parentFd, const QByteArray& name, int flags)
{
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/')) {
        errno = EINVAL;
        return {};
    }
    Fd child(openat(parentFd, name.constData(), flags));
    if (child.valid() && !isDirectory(child.get())) {
        errno = ENOTDIR;
        return {};
    }
    return child;
}

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Every entry of a folder except "." and ".."; nullopt when it could not be read to its end.
std::optional<std::vector<QByteArray>> listNames(int dirFd)
{
    const int copy = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) return std::nullopt;
    DIR* dir = fdopendir(copy);
    if (!dir) {
        close(copy);
        return std::nullopt;
    }
    std::vector<QByteArray> names;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) break;
        const char* n = entry->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
        names.emplace_back(n);
    }
    const bool complete = errno == 0;
    closedir(dir);
    if (!complete) return std::nullopt;
    return names;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray deletionDate()
{
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char text[32];
    const size_t n = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return QByteArray(text, qsizetype(n));
}

// Removes an entry and, for a folder, everything below it; links are removed, never followed.
bool removeTree(int dirFd, const QByteArray& name)
{
    if (unlinkat(dirFd, name.constData(), 0) == 0 || errno == ENOENT) return true;
    if (errno != EISDIR && errno != EPERM) return false;
    Fd dir(openat(dirFd, name.constData(), kListable));
    if (!dir.valid()) return false;
    bool all = true;
    if (const auto names = listNames(dir.get())) {
        for (const QByteArray& child : *names) all = removeTree(dir.get(), child) && all;
    }
    return unlinkat(dirFd, name.constData(), AT_REMOVEDIR) == 0 && all;
}

// What a cross-device copy took, so that only those entries, unchanged, are removed after.
struct Copied {
    off_t size;
    struct timespec modified;
};
using CopyLog = QHash<QPair<quint64, quint64>, Copied>;

QPair<quint64, quint64> idOf(const struct stat& st) { return {quint64(st.st_dev), quint64(st.st_ino)}; }

bool copyEntry(int srcDir, const QByteArray& name, int dstDir, const QByteArray& dstName, CopyLog& log)
{
    struct stat st;
    if (fstatat(srcDir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISREG(st.st_mode)) {
        Fd in(openat(srcDir, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened;
        if (!in.valid() || fstat(in.get(), &opened) != 0 || idOf(opened) != idOf(st)) return false;
        Fd out(openat(dstDir, dstName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      st.st_mode & 07777));
        if (!out.valid()) return false;
        std::vector<char> buffer(256 * 1024);
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) break;
            if (!writeAll(out.get(), QByteArray::fromRawData(buffer.data(), qsizetype(n)))) return false;
        }
        const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
        futimens(out.get(), times);
        if (fsync(out.get()) != 0) return false;
        log.insert(idOf(opened), Copied{opened.st_size, opened.st_mtim});
        return true;
    }
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(size_t(st.st_size > 0 ? st.st_size : 4096) + 1);
        const ssize_t n = readlinkat(srcDir, name.constData(), target.data(), target.size() - 1);
        if (n < 0) return false;
        target[size_t(n)] = '\0';
        if (symlinkat(target.data(), dstDir, dstName.constData()) != 0) return false;
        log.insert(idOf(st), Copied{st.st_size, st.st_mtim});
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        Fd src(openat(srcDir, name.constData(), kListable));
        struct stat opened;
        if (!src.valid() || fstat(src.get(), &opened) != 0 || idOf(opened) != idOf(st)) return false;
        if (mkdirat(dstDir, dstName.constData(), 0700) != 0) return false;
        Fd dst(openat(dstDir, dstName.constData(), kListable));
        if (!dst.valid()) return false;
        const auto names = listNames(src.get());
        if (!names) return false;
        for (const QByteArray& child : *names) {
            if (!copyEntry(src.get(), child, dst.get(), child, log)) return false;
        }
        fchmod(dst.get(), st.st_mode & 07777);
        if (fsync(dst.get()) != 0) return false;
        log.insert(idOf(opened), Copied{0, {}});
        return true;
    }
    errno = EOPNOTSUPP;  // sockets, pipes and devices are not copied
    return false;
}

// Removes the source of a finished copy: only entries the copy took, and only files that did
// not change since; a folder that gained entries meanwhile stays with them.
bool removeCopied(int srcDir, const QByteArray& name, const CopyLog& log)
{
    struct stat st;
    if (fstatat(srcDir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    const auto it = log.constFind(idOf(st));
    if (it == log.constEnd()) return false;
    if (S_ISDIR(st.st_mode)) {
        Fd dir(openat(srcDir, name.constData(), kListable));
        if (!dir.valid()) return false;
        bool all = true;
        if (const auto names = listNames(dir.get())) {
            for (const QByteArray& child : *names) all = removeCopied(dir.get(), child, log) && all;
        }
        return unlinkat(srcDir, name.constData(), AT_REMOVEDIR) == 0 && all;
    }
    if (S_ISREG(st.st_mode) && (st.st_size != it->size || st.st_mtim.tv_sec != it->modified.tv_sec ||
                                st.st_mtim.tv_nsec != it->modified.tv_nsec)) {
        return false;
    }
    return unlinkat(srcDir, name.constData(), 0) == 0;
}

int syncDirectory(int dirFd)
{
    Fd readable(openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return readable.valid() ? fsync(readable.get()) : -1;
}

struct TrashDir {
    Fd files;
    Fd info;
    QString path;
    dev_t device = 0;
};

std::optional<TrashDir> openParts(int trashFd, const QString& path, bool checkOwner)
{
    const uid_t uid = getuid();
    TrashDir dir;
    dir.path = path;
    for (const char* part : {"files", "info"}) {
        if (mkdirat(trashFd, part, 0700) != 0 && errno != EEXIST) return std::nullopt;
        Fd fd = stepInto(trashFd, part, kStep);
        struct stat st;
        if (!fd.valid() || fstat(fd.get(), &st) != 0) return std::nullopt;
        if (checkOwner && st.st_uid != uid) return std::nullopt;
        dir.device = st.st_dev;
        (part[0] == 'f' ? dir.files : dir.info) = std::move(fd);
    }
    return dir;
}

// $XDG_DATA_HOME/Trash, created private when missing. The user's own links on the way to it
// are followed: what goes there is only ever moved into it.
std::optional<TrashDir> homeTrash()
{
    const QString trash = Paths::trashDir();
    if (!QDir().mkpath(trash)) return std::nullopt;
    Fd fd(open(QFile::encodeName(trash).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    chmod(QFile::encodeName(trash).constData(), 0700);
    return openParts(fd.get(), trash, false);
}

// $topdir/.Trash/$uid when $topdir/.Trash is a sticky folder and not a link, else
// $topdir/.Trash-$uid; either must be ours, a real folder and on the item's device.
std::optional<TrashDir> topdirTrash(dev_t device, const QString& parentPath)
{
    QString top = QDir::cleanPath(parentPath);
    struct stat st;
    if (stat(QFile::encodeName(top).constData(), &st) != 0 || st.st_dev != device) return std::nullopt;
    while (top != QLatin1String("/")) {
        QString up = top.left(top.lastIndexOf(QLatin1Char('/')));
        if (up.isEmpty()) up = QStringLiteral("/");
        if (stat(QFile::encodeName(up).constData(), &st) != 0 || st.st_dev != device) break;
        top = up;
    }
    Fd topFd(open(QFile::encodeName(top).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!topFd.valid()) return std::nullopt;
    const uid_t uid = getuid();
    const QString prefix = top == QLatin1String("/") ? QString() : top;

    auto ours = [&](int dirFd, const QByteArray& name, const QString& path) -> std::optional<TrashDir> {
        if (mkdirat(dirFd, name.constData(), 0700) != 0 && errno != EEXIST) return std::nullopt;
        Fd fd = stepInto(dirFd, name, kStep);
        struct stat own;
        if (!fd.valid() || fstat(fd.get(), &own) != 0 || own.st_uid != uid || own.st_dev != device) {
            return std::nullopt;
        }
        std::optional<TrashDir> dir = openParts(fd.get(), path, true);
        if (dir && dir->device != device) return std::nullopt;
        return dir;
    };

    const QByteArray uidText = QByteArray::number(uid);
    struct stat shared;
    if (fstatat(topFd.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX)) {
        Fd sharedFd = stepInto(topFd.get(), ".Trash", kStep);
        if (sharedFd.valid()) {
            if (auto dir = ours(sharedFd.get(), uidText, prefix + QStringLiteral("/.Trash/") + QString::fromLatin1(uidText))) {
                return dir;
            }
        }
    }
    const QByteArray own = ".Trash-" + uidText;
    return ours(topFd.get(), own, prefix + QLatin1Char('/') + QString::fromLatin1(own));
}

// The name in the Trash for the n-th try, short enough to take the record's suffix.
QByteArray trashName(const QByteArray& name, int n)
{
    const QByteArray suffix = n == 1 ? QByteArray() : "." + QByteArray::number(n);
    const qsizetype room = kNameMax - qsizetype(sizeof kInfoSuffix - 1) - suffix.size();
    return name.left(room) + suffix;
}

// Which records this process writes, so that a later start can tell its own leftovers from
// anybody else's. Each mover keeps a journal in our state folder, locked while the mover lives.
// Its lines: "T <Trash folder>" before the mover first writes there, and "R <inode> <Trash
// folder> <record name>" once a record is written complete under a temporary name of the
// mover's own and before it is renamed into place (the paths percent-encoded). A normal end
// deletes the journal; a journal nobody holds locked was left by a stop part-way.
constexpr const char kJournalPrefix[] = "trash-moves-";
constexpr const char kRecordPrefix[] = ".veltranmoor-record-";

QString journalDir() { return Paths::stateHome() + QStringLiteral("/Veltranmoor/trash-journal"); }

class Journal {
public:
    Journal() = default;
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;
    ~Journal()
    {
        if (!m_fd.valid()) return;
        unlink(QFile::encodeName(m_path).constData());
        // No trace once no mover is at work; a folder still holding a journal stays.
        const QByteArray dir = QFile::encodeName(journalDir());
        if (rmdir(dir.constData()) == 0) rmdir(dir.left(dir.lastIndexOf('/')).constData());
    }

    // A name of our own for this mover's temporaries, unique among the journals.
    const QByteArray& token()
    {
        open();
        return m_token;
    }

    // The temporary name of the next record, in the Trash folder `trash`.
    QByteArray recordTemporary(const TrashDir& trash)
    {
        open();
        if (!m_trashes.contains(trash.path)) {
            m_trashes.insert(trash.path);
            append("T " + encodePath(QFile::encodeName(trash.path)));
        }
        return kRecordPrefix + m_token + '-' + QByteArray::number(++m_records);
    }

    void recordWritten(const TrashDir& trash, const QByteArray& infoName, ino_t inode)
    {
        append("R " + QByteArray::number(quint64(inode)) + ' ' + encodePath(QFile::encodeName(trash.path)) + ' ' +
               encodePath(infoName));
    }

private:
    // A journal that cannot be kept only costs the sweep.
    void append(const QByteArray& line)
    {
        if (m_fd.valid()) writeAll(m_fd.get(), line + '\n');
    }

    void open()
    {
        if (m_opened) return;
        m_opened = true;
        m_token = QByteArray::number(getpid()) + '-';
        QByteArray path;
        Fd fd;
        // Another mover that ends meanwhile may remove the folder just made: made again.
        for (int attempt = 0; attempt < 3 && !fd.valid(); ++attempt) {
            if (!QDir().mkpath(journalDir())) break;
            path = QFile::encodeName(journalDir()) + '/' + kJournalPrefix + m_token + "XXXXXX";
            fd = Fd(mkostemp(path.data(), O_APPEND | O_CLOEXEC));
            if (!fd.valid() && errno != ENOENT) break;
        }
        if (!fd.valid() || flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (fd.valid()) unlink(path.constData());
            m_token += QByteArray::number(quintptr(this), 16);
            return;
        }
        m_token = path.mid(path.lastIndexOf('/') + 1 + qsizetype(sizeof kJournalPrefix - 1));
        m_path = QFile::decodeName(path);
        m_fd = std::move(fd);
    }

    bool m_opened = false;
    Fd m_fd;
    QString m_path;
    QByteArray m_token;
    QSet<QString> m_trashes;
    quint64 m_records = 0;
};

// Removes the entries of the folder `dirFd` whose names begin with `prefix`; returns how many.
int removeStartingWith(int dirFd, const QByteArray& prefix)
{
    int removed = 0;
    if (const auto names = listNames(dirFd)) {
        for (const QByteArray& name : *names) {
            if (name.startsWith(prefix) && removeTree(dirFd, name)) ++removed;
        }
    }
    return removed;
}

// Undoes what one stopped mover left: its records whose item never arrived (the inode it
// wrote, so a record somebody else wrote under that name is left alone), its temporary records
// and its half copies. Returns how many were removed.
int sweepJournal(int journalFd, const QByteArray& token)
{
    QByteArray text;
    char buffer[16384];
    for (ssize_t n; (n = ::read(journalFd, buffer, sizeof buffer)) > 0;) text.append(buffer, qsizetype(n));
    int removed = 0;
    QSet<QByteArray> trashDirs;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // The last line may be cut short.
        if (fields.size() == 2 && fields[0] == "T") {
            const QByteArray dir = QByteArray::fromPercentEncoding(fields[1]);
            if (dir.startsWith('/')) trashDirs.insert(dir);
            continue;
        }
        if (fields.size() != 4 || fields[0] != "R") continue;
        bool ok = false;
        const quint64 inode = fields[1].toULongLong(&ok);
        const QByteArray dir = QByteArray::fromPercentEncoding(fields[2]);
        const QByteArray infoName = QByteArray::fromPercentEncoding(fields[3]);
        if (!ok || !dir.startsWith('/') || !infoName.endsWith(kInfoSuffix) || infoName.contains('/')) continue;
        Fd info(open((dir + "/info").constData(), kListable));
        Fd files(open((dir + "/files").constData(), kListable));
        if (!info.valid() || !files.valid()) continue;
        struct stat record;
        if (fstatat(info.get(), infoName.constData(), &record, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(record.st_mode) ||
            quint64(record.st_ino) != inode) {
            continue;
        }
        const QByteArray itemName = infoName.chopped(qsizetype(sizeof kInfoSuffix - 1));
        struct stat item;
        if (fstatat(files.get(), itemName.constData(), &item, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (unlinkat(info.get(), infoName.constData(), 0) == 0) ++removed;
    }
    for (const QByteArray& dir : std::as_const(trashDirs)) {
        Fd info(open((dir + "/info").constData(), kListable));
        if (info.valid()) removed += removeStartingWith(info.get(), kRecordPrefix + token + '-');
        Fd files(open((dir + "/files").constData(), kListable));
        if (files.valid()) removed += removeStartingWith(files.get(), kPartialPrefix + token + '-');
    }
    return removed;
}

}  // namespace

Fd openDirectory(const QString& dir, bool listable)
{
    const QString clean = QDir::cleanPath(dir);
    if (!QDir::isAbsolutePath(clean)) {
        errno = EINVAL;
        return {};
    }
    const QString home = QDir::cleanPath(Paths::home());
    const int last = listable ? kListable : kStep;
    Fd current;
    QByteArray below;
    if (home != QLatin1String("/") && clean.startsWith(home + QLatin1Char('/'))) {
        current = Fd(open(QFile::encodeName(home).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        below = QFile::encodeName(clean.mid(home.size() + 1));
    } else if (clean == QLatin1String("/")) {
        return Fd(open("/", (listable ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC));
    } else {
        const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
        const QString parent = slash == 0 ? QStringLiteral("/") : clean.left(slash);
        current = Fd(open(QFile::encodeName(parent).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        below = QFile::encodeName(clean.mid(slash + 1));
    }
    if (!current.valid()) return {};
    const QList<QByteArray> steps = below.split('/');
    for (qsizetype i = 0; i < steps.size(); ++i) {
        current = stepInto(current.get(), steps[i], i + 1 == steps.size() ? last : kStep);
        if (!current.valid()) return {};
    }
    return current;
}

QByteArray encodePath(const QByteArray& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        const bool plain = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
                           u == '.' || u == '_' || u == '~' || u == '/';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

struct Mover::State {
    std::optional<TrashDir> home;
    Journal journal;
};

Mover::Mover() : d(std::make_unique<State>()) {}
Mover::~Mover() = default;

Result<QString> moveAt(int parentFd, const QString& parentPath, const QByteArray& name)
{
    return Mover().moveAt(parentFd, parentPath, name);
}

Result<QString> Mover::moveAt(int parentFd, const QString& parentPath, const QByteArray& name)
{
    const QString shown = QFile::decodeName(name);
    auto failed = [&](const QString& why) {
        return Result<QString>::failure(QStringLiteral("Could not move ") + shown + QStringLiteral(" to the Trash: ") + why);
    };
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/')) return failed(QStringLiteral("not a name"));
    const QString parent = QDir::cleanPath(parentPath);
    if (!QDir::isAbsolutePath(parent)) return failed(QStringLiteral("no absolute origin"));
    struct stat item;
    if (fstatat(parentFd, name.constData(), &item, AT_SYMLINK_NOFOLLOW) != 0) return failed(errorText(errno));

    if (!d->home) d->home = homeTrash();
    if (!d->home) return failed(QStringLiteral("cannot create the Trash folder ") + Paths::trashDir());
    TrashDir* trash = &*d->home;
    std::optional<TrashDir> top;
    bool copy = false;
    if (trash->device != item.st_dev) {
        top = topdirTrash(item.st_dev, parent);
        if (top) {
            trash = &*top;
        } else {
            copy = true;  // no Trash on the item's own file system: into the user's, by copy
        }
    }

    const QByteArray origin = QFile::encodeName(parent == QLatin1String("/") ? QString() : parent) + '/' + name;
    const QByteArray record = "[Trash Info]\nPath=" + encodePath(origin) + "\nDeletionDate=" + deletionDate() + '\n';
    for (int n = 1; n < 100000;) {
        const QByteArray target = trashName(name, n);
        const QByteArray infoName = target + kInfoSuffix;
        {
            // Written complete under a temporary name of our own, noted in the journal, then
            // renamed into place without replacing anything: a stop at any moment leaves no
            // record under this name, or one the next start knows as ours.
            const QByteArray temporary = d->journal.recordTemporary(*trash);
            Fd info(openat(trash->info.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           0600));
            if (!info.valid()) return failed(QStringLiteral("cannot write its record: ") + errorText(errno));
            struct stat written;
            if (!writeAll(info.get(), record) || fstat(info.get(), &written) != 0) {
                const int error = errno;
                unlinkat(trash->info.get(), temporary.constData(), 0);
                return failed(QStringLiteral("cannot write its record: ") + errorText(error));
            }
            d->journal.recordWritten(*trash, infoName, written.st_ino);
            if (renameat2(trash->info.get(), temporary.constData(), trash->info.get(), infoName.constData(),
                          RENAME_NOREPLACE) != 0) {
                const int error = errno;
                unlinkat(trash->info.get(), temporary.constData(), 0);
                if (error == EEXIST) {
                    ++n;
                    continue;
                }
                return failed(QStringLiteral("cannot write its record: ") + errorText(error));
            }
        }
        const QString where = trash->path + QStringLiteral("/files/") + QFile::decodeName(target);
        if (!copy) {
            if (renameat2(parentFd, name.constData(), trash->files.get(), target.constData(), RENAME_NOREPLACE) == 0) {
                return Result<QString>::success(where);
            }
            const int error = errno;
            unlinkat(trash->info.get(), infoName.constData(), 0);
            if (error == EEXIST) {
                ++n;
            } else if (error == EXDEV) {
                copy = true;  // the same file system under another mount: the same name again, by copy
            } else {
                return failed(errorText(error));
            }
            continue;
        }

        // Copied under a name of our own first, so a stop part-way never leaves a half item
        // behind a complete record; start-up removes such leftovers.
        const QByteArray partial = kPartialPrefix + d->journal.token() + '-' + QByteArray::number(n);
        CopyLog log;
        int error = 0;
        if (!copyEntry(parentFd, name, trash->files.get(), partial, log) || syncDirectory(trash->files.get()) != 0) {
            error = errno;
        } else if (renameat2(trash->files.get(), partial.constData(), trash->files.get(), target.constData(),
                             RENAME_NOREPLACE) != 0) {
            error = errno;
        }
        if (error != 0) {
            removeTree(trash->files.get(), partial);
            unlinkat(trash->info.get(), infoName.constData(), 0);
            if (error == EEXIST) {
                ++n;
                continue;
            }
            return failed(errorText(error ? error : EIO));
        }
        syncDirectory(trash->files.get());
        if (!removeCopied(parentFd, name, log)) {
            return failed(QStringLiteral("copied to the Trash, but it changed meanwhile and part of it stays"));
        }
        return Result<QString>::success(where);
    }
    return failed(QStringLiteral("no free name in the Trash"));
}

Result<QString> move(const QString& trustedRoot, const QString& path)
{
    const QString root = QDir::cleanPath(trustedRoot);
    const QString item = QDir::cleanPath(path);
    if (!QDir::isAbsolutePath(root) || !item.startsWith(root == QLatin1String("/") ? root : root + QLatin1Char('/')) ||
        item == root) {
        return Result<QString>::failure(QStringLiteral("Could not move ") + item +
                                        QStringLiteral(" to the Trash: it is not inside ") + root);
    }
    const qsizetype slash = item.lastIndexOf(QLatin1Char('/'));
    const QString parentPath = slash == 0 ? QStringLiteral("/") : item.left(slash);
    Fd parent = openDirectory(root, false);
    if (parent.valid() && parentPath != root) {
        const QByteArray rest = QFile::encodeName(parentPath.mid(root.size() + (root == QLatin1String("/") ? 0 : 1)));
        for (const QByteArray& step : rest.split('/')) {
            parent = stepInto(parent.get(), step, kStep);
            if (!parent.valid()) break;
        }
    }
    if (!parent.valid()) {
        return Result<QString>::failure(QStringLiteral("Could not move ") + item +
                                        QStringLiteral(" to the Trash: its folder cannot be opened safely (") +
                                        errorText(errno) + QLatin1Char(')'));
    }
    return moveAt(parent.get(), parentPath, QFile::encodeName(item.mid(slash + 1)));
}

int removeIncompleteRecords()
{
    Fd dir(open(QFile::encodeName(journalDir()).constData(), kListable));
    if (!dir.valid()) return 0;
    int removed = 0;
    const auto names = listNames(dir.get());
    if (!names) return 0;
    for (const QByteArray& name : *names) {
        if (!name.startsWith(kJournalPrefix)) continue;
        Fd journal(openat(dir.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        // A journal still locked belongs to a mover at work (in this or another process).
        if (!journal.valid() || flock(journal.get(), LOCK_EX | LOCK_NB) != 0) continue;
        removed += sweepJournal(journal.get(), name.mid(qsizetype(sizeof kJournalPrefix - 1)));
        unlinkat(dir.get(), name.constData(), 0);
    }
    const QByteArray path = QFile::encodeName(journalDir());
    if (rmdir(path.constData()) == 0) rmdir(path.left(path.lastIndexOf('/')).constData());
    return removed;
}

}  // namespace Trash
