#include "core/Paths.h"
#include "core/Trash.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The tests that use the real Trash of /dev/shm's file system take turns: the suite runs tests
// in parallel processes, and one that tidies that Trash away would take the other's records.
struct ShmTrashTurn {
    int fd = ::open("/dev/shm/.veltranmoor-trash-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ShmTrashTurn()
    {
        if (fd >= 0) ::flock(fd, LOCK_EX);
    }
    ~ShmTrashTurn()
    {
        if (fd >= 0) ::close(fd);
    }
};

QString home() { return Paths::home(); }
QString trashFiles() { return Paths::trashDir() + QStringLiteral("/files"); }
QString trashInfo() { return Paths::trashDir() + QStringLiteral("/info"); }

// Raw byte names: the names under test are not all valid UTF-8.
void makeFile(const QByteArray& path, const QByteArray& content = "x")
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
    ::close(fd);
}

void makeDirs(const QString& path) { ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString(); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray readRaw(const QByteArray& path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, qsizetype(n));
    ::close(fd);
    return out;
}

QByteArray recordField(const QByteArray& record, const QByteArray& key)
{
    for (const QByteArray& line : record.split('\n')) {
        if (line.startsWith(key + '=')) return line.mid(key.size() + 1);
    }
    return {};
}

QByteArray native(const QString& path) { return QFile::encodeName(path); }

}  // namespace

TEST(Trash, MovesIntoTheUsersTrashEvenWhenItDoesNotExistYetWithoutReplacingAnything)
{
    QTemporaryDir root(home() + QStringLiteral("/work-XXXXXX"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + QStringLiteral("/data-not-yet")));
    const QString victim = root.path() + QStringLiteral("/cache.bin");
    makeFile(native(victim), "first");

    const auto moved = Trash::move(root.path(), victim);
    ASSERT_TRUE(moved.ok()) << moved.error().toStdString();
    EXPECT_FALSE(QFile::exists(victim));
    EXPECT_EQ(moved.value(), trashFiles() + QStringLiteral("/cache.bin"));
    EXPECT_EQ(QFileInfo(Paths::trashDir()).permissions() & 0x0077, 0);  // no group/other bits
    const QByteArray record = readAll(trashInfo() + QStringLiteral("/cache.bin.trashinfo"));
    EXPECT_TRUE(record.startsWith("[Trash Info]\n"));
    EXPECT_EQ(recordField(record, "Path"), Trash::encodePath(native(victim)));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"))
                    .match(QString::fromLatin1(recordField(record, "DeletionDate")))
                    .hasMatch());

    // A second item of that name gets a name of its own; the first stays as it was.
    makeFile(native(victim), "second");
    const auto again = Trash::move(root.path(), victim);
    ASSERT_TRUE(again.ok()) << again.error().toStdString();
    EXPECT_NE(again.value(), moved.value());
    EXPECT_EQ(readAll(moved.value()), "first");
    EXPECT_EQ(readAll(again.value()), "second");

    const auto missing = Trash::move(root.path(), root.path() + QStringLiteral("/nope"));
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.error().isEmpty());
    const QStringList infos = QDir(trashInfo()).entryList(QDir::Files);
    EXPECT_EQ(infos.size(), 2) << infos.join(QLatin1Char(' ')).toStdString();
}

TEST(Trash, PathsArePercentEncodedByteForByte)
{
    const struct {
        QByteArray path;
        QByteArray encoded;
    } cases[] = {
        {"/h/100%41", "/h/100%2541"},
        {"/h/a b\nc", "/h/a%20b%0Ac"},
        {"/h/caf\xc3\xa9", "/h/caf%C3%A9"},
        {"/h/\xff\xfe", "/h/%FF%FE"},
        {"/h/A-z_0.9~", "/h/A-z_0.9~"},
        {"/h/#?&=+;", "/h/%23%3F%26%3D%2B%3B"},
    };
    for (const auto& c : cases) EXPECT_EQ(Trash::encodePath(c.path), c.encoded) << c.path.constData();
}

TEST(Trash, NeverFollowsALinkBelowTheHomeFolderNorLeavesTheTrustedRoot)
{
    const QString docs = home() + QStringLiteral("/Documents");
    makeDirs(docs + QStringLiteral("/inner"));
    makeFile(native(docs + QStringLiteral("/inner/thesis.tex")));
    makeDirs(home() + QStringLiteral("/.cache"));
    ASSERT_EQ(symlink(native(docs).constData(), native(home() + QStringLiteral("/.cache/linked")).constData()), 0);
    makeDirs(home() + QStringLiteral("/.npm-real/_cacache"));
    makeFile(native(home() + QStringLiteral("/.npm-real/_cacache/blob")));
    ASSERT_EQ(symlink(".npm-real", native(home() + QStringLiteral("/.npm")).constData()), 0);

    const struct {
        QString root;
        QString path;
    } refused[] = {
        {home() + QStringLiteral("/.cache"), home() + QStringLiteral("/.cache/linked/inner/thesis.tex")},
        {home() + QStringLiteral("/.cache/linked"), home() + QStringLiteral("/.cache/linked/inner")},
        {home() + QStringLiteral("/.npm/_cacache"), home() + QStringLiteral("/.npm/_cacache/blob")},
        {home() + QStringLiteral("/.cache"), docs + QStringLiteral("/inner")},
        {home() + QStringLiteral("/.cache"), home() + QStringLiteral("/.cache/../Documents/inner")},
        {home() + QStringLiteral("/.cache"), home() + QStringLiteral("/.cache")},
    };
    for (const auto& c : refused) {
        const auto moved = Trash::move(c.root, c.path);
        EXPECT_FALSE(moved.ok()) << c.path.toStdString();
    }
    EXPECT_TRUE(QFile::exists(docs + QStringLiteral("/inner/thesis.tex")));
    EXPECT_TRUE(QFile::exists(home() + QStringLiteral("/.npm-real/_cacache/blob")));
    EXPECT_FALSE(Trash::openDirectory(home() + QStringLiteral("/.npm/_cacache"), true).valid());
    EXPECT_TRUE(Trash::openDirectory(home() + QStringLiteral("/.npm-real/_cacache"), true).valid());

    // The link itself, inside its root, is an entry like any other: it goes, its target stays.
    const auto link = Trash::move(home() + QStringLiteral("/.cache"), home() + QStringLiteral("/.cache/linked"));
    ASSERT_TRUE(link.ok()) << link.error().toStdString();
    EXPECT_TRUE(QFileInfo(link.value()).isSymLink());
    EXPECT_TRUE(QFile::exists(docs + QStringLiteral("/inner/thesis.tex")));
}

// trash-list must list exactly what we recorded. It prints a name's newline as it is and,
// decoding as UTF-8, shows an invalid byte as U+FFFD; the record itself is checked byte for byte.
TEST(Trash, TrashListReadsBackEveryNameExactly)
{
    const QString trashList = QStandardPaths::findExecutable(QStringLiteral("trash-list"));
    ASSERT_FALSE(trashList.isEmpty()) << "trash-list (package trash-cli) is needed: scripts/install-deps test";
    const QString dir = home() + QStringLiteral("/.cache/pip");
    makeDirs(dir);
    const QList<QByteArray> names = {"100%41",        "50%",         "with space",   "two  spaces ",
                                     "line\nbreak",   "tab\there",   "caf\xc3\xa9",  "bad\xff\xfe" "bytes",
                                     "%0A literally", "trailing%",   "back\\slash", "question?mark#hash"};
    for (const QByteArray& name : names) makeFile(native(dir) + '/' + name);

    QList<QByteArray> expected;  // one "<date> <path>\n" block per item, as trash-list prints it
    // Through the descriptor form: a QString cannot carry the invalid bytes.
    const Trash::Fd parent = Trash::openDirectory(dir, false);
    ASSERT_TRUE(parent.valid());
    for (const QByteArray& name : names) {
        const auto moved = Trash::moveAt(parent.get(), dir, name);
        ASSERT_TRUE(moved.ok()) << moved.error().toStdString();
        EXPECT_EQ(moved.value(), trashFiles() + QLatin1Char('/') + QFile::decodeName(name));
        const QByteArray record = readRaw(native(trashInfo()) + '/' + name + ".trashinfo");
        EXPECT_EQ(QByteArray::fromPercentEncoding(recordField(record, "Path")), native(dir) + '/' + name);
        const QByteArray date = recordField(record, "DeletionDate").replace('T', ' ');
        expected << date + ' ' + QString::fromUtf8(native(dir) + '/' + name).toUtf8() + '\n';
    }

    QProcess list;
    list.start(trashList, {});
    ASSERT_TRUE(list.waitForFinished(30000));
    EXPECT_EQ(list.exitCode(), 0) << list.readAllStandardError().constData();
    // Listed in directory order: take each expected block out of the output once.
    QByteArray remaining = list.readAllStandardOutput();
    for (const QByteArray& block : expected) {
        const qsizetype at = remaining.indexOf(block);
        EXPECT_GE(at, 0) << "not listed: " << block.constData();
        if (at >= 0) remaining.remove(at, block.size());
    }
    // Tests running beside this one may hold items in a Trash of another file system, which
    // trash-list also reads: only entries outside this test's home are theirs to keep.
    static const QRegularExpression entry(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)$"));
    QList<QByteArray> ours;
    for (const QByteArray& line : remaining.split('\n')) {
        const auto match = entry.match(QString::fromUtf8(line));
        if (match.hasMatch() && !match.captured(1).startsWith(home() + QLatin1Char('/'))) continue;
        if (!line.isEmpty()) ours << line;
    }
    EXPECT_TRUE(ours.isEmpty()) << "listed beyond what we trashed: " << ours.join('\n').constData();
}

TEST(Trash, AnotherFileSystemUsesItsOwnTrashOrACompleteCopy)
{
    const ShmTrashTurn turn;
    const QString shm = QStringLiteral("/dev/shm");
    struct stat homeSt, shmSt;
    if (stat(native(home()).constData(), &homeSt) != 0 || stat(native(shm).constData(), &shmSt) != 0 ||
        homeSt.st_dev == shmSt.st_dev || access(native(shm).constData(), W_OK) != 0) {
        GTEST_SKIP() << "no second writable file system at /dev/shm";
    }
    // A mount point of our own would need privileges: use the real file system of /dev/shm and
    // tidy up. Its top folder is where that file system is mounted, which is not always /dev/shm
    // itself (in a chroot whose /dev is bound without its sub-mounts it is /dev).
    QString top = shm;
    for (;;) {
        const QString up = QFileInfo(top).absolutePath();
        struct stat upSt;
        if (up == top || stat(native(up).constData(), &upSt) != 0 || upSt.st_dev != shmSt.st_dev) break;
        top = up;
    }
    if (access(native(top).constData(), W_OK) != 0) GTEST_SKIP() << top.toStdString() << " is not writable";
    const QString ownTrash = top + QStringLiteral("/.Trash-") + QString::number(getuid());
    struct stat existing;
    const bool hadTrash = lstat(native(ownTrash).constData(), &existing) == 0;
    QTemporaryDir area(shm + QStringLiteral("/veltranmoor-trash-test-XXXXXX"));
    ASSERT_TRUE(area.isValid());
    struct Tidy {
        QString trash;
        bool keep;
        QStringList moved;
        ~Tidy()
        {
            for (const QString& name : moved) {
                QFile::remove(trash + QStringLiteral("/files/") + name);
                QFile::remove(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
            }
            if (!keep) QDir(trash).removeRecursively();
        }
    } tidy{ownTrash, hadTrash, {}};
    if (hadTrash && !S_ISDIR(existing.st_mode)) GTEST_SKIP() << ownTrash.toStdString() << " is not a folder";

    makeFile(native(area.path() + QStringLiteral("/other-fs.bin")), "on tmpfs");
    const auto moved = Trash::move(area.path(), area.path() + QStringLiteral("/other-fs.bin"));
    ASSERT_TRUE(moved.ok()) << moved.error().toStdString();
    tidy.moved << QFileInfo(moved.value()).fileName();
    EXPECT_TRUE(moved.value().startsWith(ownTrash + QStringLiteral("/files/"))) << moved.value().toStdString();
    EXPECT_EQ(readAll(moved.value()), "on tmpfs");
    EXPECT_FALSE(QFile::exists(area.path() + QStringLiteral("/other-fs.bin")));
    EXPECT_FALSE(QFile::exists(QDir::currentPath() + QStringLiteral("/files/other-fs.bin")));
    if (hadTrash) return;

    // When that Trash is a link, it is not used: a whole folder is copied into the user's Trash
    // (synced, with its link kept a link) and only then removed.
    tidy.moved.clear();
    QDir(ownTrash).removeRecursively();
    const QString elsewhere = area.path() + QStringLiteral("/elsewhere");
    makeDirs(elsewhere);
    ASSERT_EQ(symlink(native(elsewhere).constData(), native(ownTrash).constData()), 0);
    const QString tree = area.path() + QStringLiteral("/tree");
    makeDirs(tree + QStringLiteral("/sub"));
    makeFile(native(tree + QStringLiteral("/sub/a.bin")), QByteArray(300000, 'a'));
    makeFile(native(tree + QStringLiteral("/b.txt")), "b");
    ASSERT_EQ(symlink("/etc/hostname", native(tree + QStringLiteral("/link")).constData()), 0);
    const auto copied = Trash::move(area.path(), tree);
    QFile::remove(ownTrash);
    ASSERT_TRUE(copied.ok()) << copied.error().toStdString();
    EXPECT_EQ(copied.value(), trashFiles() + QStringLiteral("/tree"));
    EXPECT_EQ(readAll(copied.value() + QStringLiteral("/sub/a.bin")), QByteArray(300000, 'a'));
    EXPECT_EQ(readAll(copied.value() + QStringLiteral("/b.txt")), "b");
    EXPECT_EQ(QFileInfo(copied.value() + QStringLiteral("/link")).symLinkTarget(), QStringLiteral("/etc/hostname"));
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    EXPECT_EQ(QByteArray::fromPercentEncoding(recordField(readAll(trashInfo() + QStringLiteral("/tree.trashinfo")), "Path")),
              native(tree));
    EXPECT_TRUE(QDir(trashFiles()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size() == 1);
}

TEST(Trash, StartUpRemovesOnlyWhatOurOwnStoppedMoverLeft)
{
    const QString dir = home() + QStringLiteral("/.cache/pip");
    makeDirs(dir);
    for (const char* name : {"kept", "lost", "renamed"}) makeFile(native(dir + QLatin1Char('/') + QLatin1String(name)));
    // A second file system has a Trash of its own; a record there is ours to sweep as well.
    const ShmTrashTurn turn;
    const QString shm = QStringLiteral("/dev/shm");
    struct stat homeSt, shmSt;
    std::optional<QTemporaryDir> other;
    if (stat(native(home()).constData(), &homeSt) == 0 && stat(native(shm).constData(), &shmSt) == 0 &&
        homeSt.st_dev != shmSt.st_dev && access(native(shm).constData(), W_OK) == 0) {
        other.emplace(shm + QStringLiteral("/veltranmoor-sweep-test-XXXXXX"));
        makeFile(native(other->path() + QStringLiteral("/lost-elsewhere")));
    }
    // That file system's Trash is where it is mounted.
    QString otherTrash;
    bool hadOtherTrash = false;
    if (other) {
        QString top = shm;
        for (QString up = QFileInfo(top).absolutePath(); up != top; up = QFileInfo(top).absolutePath()) {
            struct stat upSt;
            if (stat(native(up).constData(), &upSt) != 0 || upSt.st_dev != shmSt.st_dev) break;
            top = up;
        }
        otherTrash = top + QStringLiteral("/.Trash-") + QString::number(getuid());
        hadOtherTrash = QFileInfo::exists(otherTrash);
    }

    // A cleaner that stops part-way, as a killed process does: its records are written, some
    // items never arrive (taken out again here), and nothing of its own is tidied on the way out.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Trash::Mover mover;
        bool ok = true;
        const Trash::Fd parent(::open(native(dir).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        for (const char* name : {"kept", "lost", "renamed"}) ok = ok && mover.moveAt(parent.get(), dir, name).ok();
        if (other) {
            const Trash::Fd shmParent(::open(native(other->path()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            const auto moved = mover.moveAt(shmParent.get(), other->path(), "lost-elsewhere");
            ok = ok && moved.ok() && ::unlink(native(moved.value()).constData()) == 0;
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(QFile::remove(trashFiles() + QStringLiteral("/lost")));
    // Somebody else trashed another "renamed" after ours went: that record is theirs.
    ASSERT_TRUE(QFile::remove(trashFiles() + QStringLiteral("/renamed")));
    makeFile(native(trashInfo() + QStringLiteral("/theirs")), "[Trash Info]\nPath=/h/renamed\nDeletionDate=2026-01-01T00:00:00\n");
    ASSERT_EQ(::rename(native(trashInfo() + QStringLiteral("/theirs")).constData(),
                       native(trashInfo() + QStringLiteral("/renamed.trashinfo")).constData()),
              0);
    // Other programs' records without an item, or half written, are theirs too.
    makeFile(native(trashInfo() + QStringLiteral("/orphan.trashinfo")),
             "[Trash Info]\nPath=/h/orphan\nDeletionDate=2026-01-01T00:00:00\n");
    makeFile(native(trashInfo() + QStringLiteral("/empty.trashinfo")), QByteArray());
    // Half copies: the stopped mover's go, anybody else's stay.
    const QStringList journals = QDir(Paths::stateHome() + QStringLiteral("/Veltranmoor/trash-journal")).entryList(QDir::Files);
    ASSERT_EQ(journals.size(), 1);
    const QString token = journals[0].mid(QStringLiteral("trash-moves-").size());
    makeDirs(trashFiles() + QStringLiteral("/.veltranmoor-partial-") + token + QStringLiteral("-1/sub"));
    makeDirs(trashFiles() + QStringLiteral("/.veltranmoor-partial-77-abcdef-1"));
    // And so do its records still under their temporary names.
    makeFile(native(trashInfo() + QStringLiteral("/.veltranmoor-record-") + token + QStringLiteral("-9")), "[Trash Info]\n");
    makeFile(native(trashInfo() + QStringLiteral("/.veltranmoor-record-77-abcdef-1")), "[Trash Info]\n");
    // A mover at work in this process keeps its journal locked: nothing of it is touched.
    Trash::Mover working;
    makeFile(native(dir + QStringLiteral("/working")));
    const Trash::Fd parent(::open(native(dir).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(working.moveAt(parent.get(), dir, "working").ok());
    ASSERT_TRUE(QFile::remove(trashFiles() + QStringLiteral("/working")));

    EXPECT_EQ(Trash::removeIncompleteRecords(), other ? 4 : 3);
    EXPECT_EQ(QDir(trashInfo()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".veltranmoor-record-77-abcdef-1", "empty.trashinfo", "kept.trashinfo", "orphan.trashinfo",
                           "renamed.trashinfo", "working.trashinfo"}));
    EXPECT_EQ(readAll(trashInfo() + QStringLiteral("/renamed.trashinfo")),
              "[Trash Info]\nPath=/h/renamed\nDeletionDate=2026-01-01T00:00:00\n");
    EXPECT_EQ(QDir(trashFiles()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{".veltranmoor-partial-77-abcdef-1", "kept"}));
    if (other) {
        EXPECT_FALSE(QFile::exists(otherTrash + QStringLiteral("/info/lost-elsewhere.trashinfo")));
        // A Trash made here goes again, once empty.
        if (!hadOtherTrash) {
            for (const char* part : {"/info", "/files", ""}) ::rmdir(native(otherTrash + QLatin1String(part)).constData());
        }
    }
    // Each stopped journal is swept once.
    EXPECT_EQ(Trash::removeIncompleteRecords(), 0);
}
