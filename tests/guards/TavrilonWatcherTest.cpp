#include "assistant/ScriptedServer.h"

#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "guards/TavrilonWatcher.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

QDateTime wallNow() { return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), QTimeZone::utc()); }

// A watcher over a temporary folder, its model answering from a table (or held back on request).
struct WatcherRig {
    QTemporaryDir dir;
    QString folder = dir.path() + QStringLiteral("/Downloads");
    ManualClock clock{wallNow()};
    ManualScheduler scheduler{clock};
    UserDefaults defaults{dir.path() + QStringLiteral("/settings.json")};
    AppSettings settings{defaults, clock};
    QStringList prompts;
    QHash<QString, QString> replies;  // file name -> reply
    bool holdReplies = false;
    QList<std::function<void()>> held;
    TavrilonWatcher watcher{{.settings = settings,
                             .scheduler = scheduler,
                             .clock = clock,
                             .askModel = [this](const QString& prompt, std::function<void(std::optional<QString>)> done) {
                                 prompts.append(prompt);
                                 std::optional<QString> reply;
                                 for (auto it = replies.cbegin(); it != replies.cend(); ++it) {
                                     if (prompt.contains(QLatin1Char('"') + it.key() + QLatin1Char('"'))) reply = it.value();
                                 }
                                 if (holdReplies) held.append([done, reply] { done(reply); });
                                 else done(reply);
                             }}};

    WatcherRig() { QDir().mkpath(folder); }

    // A file whose last change lies `age` seconds before the rig's clock.
    QString put(const QString& relative, const QByteArray& content, int64_t age = 600)
    {
        const QString path = folder + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        f.close();
        age_(path, age);
        return path;
    }
    void age_(const QString& path, int64_t age)
    {
        const timespec t{time_t(clock.now().toSecsSinceEpoch() - age), 0};
        const timespec times[2] = {t, t};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
    }
    QUuid assign(const QString& path, qint64 hours = 24)
    {
        settings.addWatchTarget(QUrl::fromLocalFile(path), hours);
        return settings.tavrilonWatchedFolders().last().id;
    }
    std::optional<TavrilonWatchTarget> target(const QUuid& id) const
    {
        for (const auto& t : settings.tavrilonWatchedFolders()) {
            if (t.id == id) return t;
        }
        return std::nullopt;
    }
    // Runs a due check and waits for its sweep to be recorded; false when none was recorded.
    bool sweep()
    {
        QSignalSpy finished(&watcher, &TavrilonWatcher::sweepFinished);
        watcher.sweepDueTargets();
        if (!watcher.isSweeping()) return false;
        return finished.wait(20000);
    }
    QStringList tree() const
    {
        QStringList out;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) out.append(it.next().mid(folder.size() + 1));
        out.sort();
        return out;
    }
};

bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

}  // namespace

TEST(TavrilonWatcher, SortsRestedFilesTrashesTrueDuplicatesAndNeverReplaces)
{
    WatcherRig r;
    const QByteArray x = "hello world\n";
    r.put(QStringLiteral("photo.JPG"), "jpeg");
    r.put(QStringLiteral("report.pdf"), "%PDF");
    const QString a = r.put(QStringLiteral("a.txt"), x);
    const QString b = r.put(QStringLiteral("b.txt"), x);
    r.put(QStringLiteral("c.txt"), "HELLO WORLD\n");  // same size, other bytes
    QByteArray big(100000, 'z');
    r.put(QStringLiteral("big1.csv"), big);
    big[90000] = 'y';  // the first 64 KiB equal, the rest not
    r.put(QStringLiteral("big2.csv"), big);
    r.put(QStringLiteral("Images/Photo2.JPG"), "already here");
    r.put(QStringLiteral("Photo2.JPG"), "newcomer");
    r.put(QStringLiteral("new.txt"), "fresh", 119);
    r.put(QStringLiteral("rested.txt"), "rested", 120);
    r.put(QStringLiteral("future.txt"), "clock skew", -3600);
    r.put(QStringLiteral(".hidden"), "h");
    r.put(QStringLiteral("sub/inner.txt"), x);
    QFile::link(r.folder + QStringLiteral("/report.pdf"), r.folder + QStringLiteral("/link.pdf"));
    r.put(QStringLiteral("notes.xyz"), "n");
    r.put(QStringLiteral("Makefile"), "all:");
    r.replies = {{QStringLiteral("notes.xyz"), QStringLiteral("Code\nIt looks like source code.")},
                 {QStringLiteral("Makefile"), QStringLiteral("images")}};

    const QUuid id = r.assign(r.folder);
    ASSERT_TRUE(r.sweep());

    const auto target = r.target(id);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->lastOutcome, QStringLiteral("Sorted 10 file(s), trashed 1 duplicate(s)"));
    EXPECT_EQ(target->lastMaintainedAt, r.clock.now());

    QStringList tree = r.tree();
    // The collision arrived under a new name; nothing was replaced.
    const QStringList renamed = tree.filter(QRegularExpression(QStringLiteral("^Images/Photo2-[0-9A-F]{6}\\.jpg$")));
    ASSERT_EQ(renamed.size(), 1) << tree.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(readAll(r.folder + QLatin1Char('/') + renamed[0]), QByteArray("newcomer"));
    EXPECT_EQ(readAll(r.folder + QStringLiteral("/Images/Photo2.JPG")), QByteArray("already here"));
    tree.removeAll(renamed[0]);
    // One of the two copies was kept and sorted; which one follows the listing order.
    const bool keptA = tree.contains(QStringLiteral("Documents/a.txt"));
    const QString kept = keptA ? QStringLiteral("Documents/a.txt") : QStringLiteral("Documents/b.txt");
    const QString trashed = keptA ? b : a;
    tree.removeAll(kept);
    EXPECT_EQ(tree, (QStringList{".hidden", "Code", "Code/notes.xyz", "Documents", "Documents/big1.csv",
                                 "Documents/big2.csv", "Documents/c.txt", "Documents/report.pdf", "Documents/rested.txt",
                                 "Images", "Images/Photo2.JPG", "Images/photo.JPG", "Other", "Other/Makefile",
                                 "future.txt", "link.pdf", "new.txt", "sub", "sub/inner.txt"}));
    EXPECT_EQ(readAll(r.folder + QLatin1Char('/') + kept), x);

    // The model was asked for the two files the table does not know, in the fixed words.
    r.prompts.sort();
    EXPECT_EQ(r.prompts, (QStringList{TavrilonWatcher::categoryPrompt(QStringLiteral("Makefile")),
                                      TavrilonWatcher::categoryPrompt(QStringLiteral("notes.xyz"))}));
    EXPECT_TRUE(r.prompts.last().startsWith(QStringLiteral(
        "Reply with EXACTLY ONE word from this list and nothing else: Images Documents Archives Media Code Other. "
        "Which best categorizes a file named \"")));
    EXPECT_TRUE(r.prompts.last().endsWith(QStringLiteral("notes.xyz\"?")));

    // The duplicate is in the Trash, which a real Trash client lists with its original path.
    const QString trashList = QStandardPaths::findExecutable(QStringLiteral("trash-list"));
    ASSERT_FALSE(trashList.isEmpty()) << "trash-list (package trash-cli) is needed: scripts/install-deps test";
    QProcess list;
    list.start(trashList, {});
    ASSERT_TRUE(list.waitForFinished(20000));
    EXPECT_TRUE(list.readAllStandardOutput().contains(QFile::encodeName(trashed) + '\n'));

    // A day later the two files that had not rested are sorted, and then nothing is left.
    r.clock.advance(25h);
    ASSERT_TRUE(r.sweep());
    EXPECT_EQ(r.target(id)->lastOutcome, QStringLiteral("Sorted 2 file(s)"));
    EXPECT_TRUE(QFile::exists(r.folder + QStringLiteral("/Documents/new.txt")));
    r.clock.advance(25h);
    ASSERT_TRUE(r.sweep());
    EXPECT_EQ(r.target(id)->lastOutcome, QStringLiteral("Already tidy"));
}

TEST(TavrilonWatcher, TheDueCheckFollowsTheSwitchTheIntervalsAndTheClock)
{
    WatcherRig r;
    const QString empty = r.dir.path() + QStringLiteral("/empty");
    QDir().mkpath(empty);
    const QUuid daily = r.assign(empty, 24);
    QSignalSpy finished(&r.watcher, &TavrilonWatcher::sweepFinished);

    // Switched off: only the time of the check is kept.
    r.settings.setTavrilonWatcherEnabled(false);
    r.watcher.startWatching();
    EXPECT_EQ(r.watcher.lastTickAt(), r.clock.now());
    EXPECT_FALSE(r.watcher.isSweeping());
    EXPECT_FALSE(r.target(daily)->lastOutcome);

    // Switched on, the next hourly check sweeps it; a second start installs no second timer.
    r.settings.setTavrilonWatcherEnabled(true);
    r.watcher.startWatching();
    EXPECT_EQ(r.scheduler.pendingCount(), 1);
    EXPECT_FALSE(r.watcher.isSweeping());
    r.scheduler.advance(1h);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(r.target(daily)->lastOutcome, QStringLiteral("Already tidy"));

    // 23 h 59 min later it is not due; at the next hourly check it is.
    r.clock.advance(23h + 59min - 1h);
    r.scheduler.advance(1h);
    EXPECT_FALSE(r.watcher.isSweeping());
    r.scheduler.advance(1h);
    EXPECT_TRUE(r.watcher.isSweeping());
    ASSERT_TRUE(finished.wait(20000));

    // A target switched off in the stored list, and one swept "in the future", are never due.
    QList<TavrilonWatchTarget> targets = r.settings.tavrilonWatchedFolders();
    targets[0].enabled = false;
    TavrilonWatchTarget future = targets[0];
    future.id = QUuid::createUuid();
    future.enabled = true;
    future.lastMaintainedAt = r.clock.now().addDays(3);
    targets.append(future);
    r.settings.setTavrilonWatchedFolders(targets);
    r.clock.advance(48h);
    r.watcher.sweepDueTargets();
    EXPECT_FALSE(r.watcher.isSweeping());
    r.watcher.stopWatching();
    EXPECT_EQ(r.scheduler.pendingCount(), 0);
    EXPECT_FALSE(r.watcher.isRunning());
}

TEST(TavrilonWatcher, MissingAndUnreadableFoldersAreRecordedWithTheirTime)
{
    WatcherRig r;
    const QUuid gone = r.assign(r.dir.path() + QStringLiteral("/deleted"));
    const QString notAFolder = r.dir.path() + QStringLiteral("/plain.txt");
    QFile plain(notAFolder);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    r.put(QStringLiteral("loose.md"), "x");
    const QUuid file = r.assign(notAFolder);
    const QUuid fine = r.assign(r.folder);
    ASSERT_TRUE(r.sweep());
    EXPECT_EQ(r.target(gone)->lastOutcome, QStringLiteral("Folder missing \u2014 skipped"));
    EXPECT_EQ(r.target(gone)->lastMaintainedAt, r.clock.now());
    EXPECT_EQ(r.target(file)->lastOutcome, QStringLiteral("Could not read folder"));
    EXPECT_EQ(r.target(fine)->lastOutcome, QStringLiteral("Sorted 1 file(s)"));
    // Not tried again before the interval has passed.
    r.clock.advance(1h);
    EXPECT_FALSE(r.sweep());
}

TEST(TavrilonWatcher, AFolderUnassignedOrAFileWrittenDuringTheSweepIsLeftAlone)
{
    WatcherRig r;
    const QString other = r.dir.path() + QStringLiteral("/Desktop");
    QDir().mkpath(other);
    r.holdReplies = true;
    r.replies = {{QStringLiteral("draft.xyz"), QStringLiteral("Documents")}};
    const QString draft = r.put(QStringLiteral("draft.xyz"), "first words");
    r.put(QStringLiteral("song.mp3"), "la");
    const QUuid downloads = r.assign(r.folder);
    const QUuid desktop = r.assign(other);
    QSignalSpy finished(&r.watcher, &TavrilonWatcher::sweepFinished);
    r.watcher.sweepDueTargets();
    // The sweep waits on the model's answer for draft.xyz: meanwhile the file is written to,
    // the folder is unassigned, and further due checks start nothing.
    ASSERT_TRUE(waitUntil([&] { return !r.held.isEmpty(); }));
    {
        QFile f(draft);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(" and more");
    }
    QList<TavrilonWatchTarget> targets = r.settings.tavrilonWatchedFolders();
    targets.removeIf([&](const TavrilonWatchTarget& t) { return t.id == downloads; });
    r.settings.setTavrilonWatchedFolders(targets);
    r.watcher.sweepDueTargets();
    EXPECT_EQ(r.held.size(), 1);
    r.held.takeFirst()();
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_TRUE(QFile::exists(draft));
    EXPECT_TRUE(QFile::exists(r.folder + QStringLiteral("/Media/song.mp3")));
    EXPECT_EQ(r.settings.tavrilonWatchedFolders().size(), 1);
    EXPECT_EQ(r.target(desktop)->lastOutcome, QStringLiteral("Already tidy"));
}

TEST(TavrilonWatcher, AsksTheAssistantsModelOnALoopbackServer)
{
    ScriptedServer ollama;
    ollama.answer(200, R"J({"message":{"content":"  Media\n(it is a recording)"}})J");
    WatcherRig r;
    r.settings.setOllamaEnabled(true);
    r.settings.setOllamaEndpoint(ollama.base());
    ModelBackendClient backends(r.settings);
    ModelRouter router(r.settings, backends, [](const QString&, bool) {});
    TavrilonWatcher watcher({.settings = r.settings,
                             .scheduler = r.scheduler,
                             .clock = r.clock,
                             .askModel = [&](const QString& prompt, std::function<void(std::optional<QString>)> done) {
                                 router.respond(prompt, std::nullopt, false, [done](Result<ModelAnswer> a) {
                                     done(a.ok() ? std::optional<QString>(a.value().text) : std::nullopt);
                                 });
                             }});
    r.put(QStringLiteral("interview.opus"), "ogg");
    r.put(QStringLiteral("odd.qqq"), "?");
    const QUuid id = r.assign(r.folder);
    QSignalSpy finished(&watcher, &TavrilonWatcher::sweepFinished);
    watcher.sweepDueTargets();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(QFile::exists(r.folder + QStringLiteral("/Media/interview.opus")));
    EXPECT_TRUE(QFile::exists(r.folder + QStringLiteral("/Media/odd.qqq")));
    ASSERT_EQ(ollama.requests().size(), 2u);
    EXPECT_TRUE(QString::fromStdString(ollama.requests()[0].body).contains(QStringLiteral("a file named \\\"")));

    // With the assistant switched off the answer is "Other".
    r.settings.setAiChatEnabled(false);
    r.put(QStringLiteral("later.qqq"), "?");
    r.clock.advance(25h);
    watcher.sweepDueTargets();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(QFile::exists(r.folder + QStringLiteral("/Other/later.qqq")));
    EXPECT_EQ(r.target(id)->lastOutcome, QStringLiteral("Sorted 1 file(s)"));
}

TEST(TavrilonWatcher, ReadsOnlyTheSixWordsFromAReply)
{
    struct Case {
        QString reply;
        std::optional<QString> category;
    } cases[] = {
        {"Code", "Code"}, {"  Images  ", "Images"}, {"Code\nexplanation", "Code"}, {"Archives. done", std::nullopt},
        {"images", std::nullopt}, {"Images.", std::nullopt}, {"Pictures", std::nullopt}, {"", std::nullopt},
        {"\n\t ", std::nullopt}, {"Other", "Other"},
    };
    for (const Case& c : cases) EXPECT_EQ(TavrilonWatcher::categoryFromReply(c.reply), c.category) << c.reply.toStdString();
    EXPECT_EQ(TavrilonWatcher::extensionCategories().size(), 54);
    EXPECT_EQ(TavrilonWatcher::outcomeText(3, 0), QStringLiteral("Sorted 3 file(s)"));
    EXPECT_EQ(TavrilonWatcher::outcomeText(0, 2), QStringLiteral("Sorted 0 file(s), trashed 2 duplicate(s)"));
}
