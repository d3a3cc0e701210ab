#include "core/UserDefaults.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <sys/stat.h>

TEST(UserDefaults, PersistsTypedValuesPrivatelyAndAnnouncesChanges)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/sub/settings.json");
    {
        UserDefaults d(path);
        QSignalSpy spy(&d, &UserDefaults::changed);
        d.setBool(QStringLiteral("b"), true);
        d.setDouble(QStringLiteral("d"), 2.5);
        d.setInt(QStringLiteral("i"), 7);
        d.setString(QStringLiteral("s"), QStringLiteral("text"));
        d.setData(QStringLiteral("raw"), QByteArray("\x00\x01[]", 4));
        d.setBool(QStringLiteral("b"), true);  // unchanged: no write, no signal
        EXPECT_EQ(spy.count(), 5);
        EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("b"));
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    UserDefaults d(path);
    EXPECT_EQ(d.getBool(QStringLiteral("b")), true);
    EXPECT_EQ(d.getDouble(QStringLiteral("d")), 2.5);
    EXPECT_EQ(d.getInt(QStringLiteral("i")), 7);
    EXPECT_EQ(d.getString(QStringLiteral("s")), QStringLiteral("text"));
    EXPECT_EQ(d.getData(QStringLiteral("raw")), QByteArray("\x00\x01[]", 4));

    // Each reader answers only for its own type.
    EXPECT_FALSE(d.getString(QStringLiteral("b")).has_value());
    EXPECT_FALSE(d.getBool(QStringLiteral("i")).has_value());
    EXPECT_FALSE(d.getInt(QStringLiteral("d")).has_value());
    EXPECT_TRUE(d.getDouble(QStringLiteral("i")).has_value());
    EXPECT_FALSE(d.getData(QStringLiteral("s")).has_value());
    EXPECT_FALSE(d.getString(QStringLiteral("raw")).has_value());
    EXPECT_FALSE(d.getBool(QStringLiteral("absent")).has_value());

    d.remove(QStringLiteral("b"));
    EXPECT_FALSE(UserDefaults(path).contains(QStringLiteral("b")));
}

TEST(UserDefaults, DamagedFileIsKeptAsideAndTheStoreStartsEmpty)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/settings.json");
    for (const QByteArray& damaged : {QByteArray("{\"cpuThreshold\": 9"), QByteArray("[1,2]"), QByteArray("\xff\xfe")}) {
        QFile::remove(path + QStringLiteral(".bad"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged);
        f.close();

        UserDefaults d(path);
        EXPECT_FALSE(d.contains(QStringLiteral("cpuThreshold")));
        QFile aside(path + QStringLiteral(".bad"));
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(aside.readAll(), damaged);

        d.setDouble(QStringLiteral("cpuThreshold"), 70);
        EXPECT_EQ(UserDefaults(path).getDouble(QStringLiteral("cpuThreshold")), 70.0);
    }
}

TEST(UserDefaults, WatchedFileEditedOutsideIsLoadedAndAnnouncedKeyByKey)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/cfg/settings.json");
    UserDefaults d(path);
    d.watchForExternalChanges();
    d.setDouble(QStringLiteral("pollingIntervalSeconds"), 10);
    d.setString(QStringLiteral("keep"), QStringLiteral("same"));
    QSignalSpy spy(&d, &UserDefaults::changed);
    // Our own save came back through the watcher and announced nothing.
    QTest::qWait(200);
    EXPECT_EQ(spy.count(), 0);

    auto writeOutside = [&](const QByteArray& bytes, bool byRename) {
        const QString target = byRename ? path + QStringLiteral(".tmp") : path;
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        if (byRename) ASSERT_EQ(::rename(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
    };

    // Replaced by rename, as editors save: one key changed, one added, one gone.
    writeOutside(R"({"pollingIntervalSeconds": 1, "keep": "same", "added": true})", true);
    ASSERT_TRUE(spy.wait(3000));
    QTest::qWait(100);
    QStringList keys;
    for (const auto& call : spy) keys.append(call.at(0).toString());
    EXPECT_EQ(keys, (QStringList{QStringLiteral("added"), QStringLiteral("pollingIntervalSeconds")}));
    EXPECT_EQ(d.getDouble(QStringLiteral("pollingIntervalSeconds")), 1.0);
    EXPECT_EQ(d.getBool(QStringLiteral("added")), true);

    // A half-written document changes nothing; the whole one, written in place into the new
    // file, is followed too.
    spy.clear();
    writeOutside(R"({"pollingIntervalSeconds": 2,)", false);
    QTest::qWait(300);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(d.getDouble(QStringLiteral("pollingIntervalSeconds")), 1.0);
    writeOutside(R"({"pollingIntervalSeconds": 2, "keep": "same"})", false);
    ASSERT_TRUE(spy.wait(3000));
    QTest::qWait(100);
    keys.clear();
    for (const auto& call : spy) keys.append(call.at(0).toString());
    EXPECT_EQ(keys, (QStringList{QStringLiteral("added"), QStringLiteral("pollingIntervalSeconds")}));
    EXPECT_FALSE(d.contains(QStringLiteral("added")));
    EXPECT_EQ(d.getDouble(QStringLiteral("pollingIntervalSeconds")), 2.0);
}

namespace {
QJsonObject onDisk(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}
}  // namespace

// The file is written off the setter's thread: a burst of changes folds into few writes and
// still ends with the newest values on disk, which the store's own watcher never takes for an
// outside edit; going away right after a change waits for its write.
TEST(UserDefaults, ABurstOfChangesEndsWithTheLastValueOnDiskAndQuittingKeepsIt)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/settings.json");
    {
        UserDefaults d(path);
        d.watchForExternalChanges();
        QSignalSpy spy(&d, &UserDefaults::changed);
        for (int i = 0; i <= 300; ++i) {
            d.setInt(QStringLiteral("slider"), i);
            if (i % 50 == 0) QCoreApplication::processEvents();  // let the watcher's notices in
        }
        d.setString(QStringLiteral("other"), QStringLiteral("kept"));
        d.flush();
        EXPECT_EQ(onDisk(path).value(QStringLiteral("slider")).toInt(), 300);
        QTest::qWait(200);
        EXPECT_EQ(d.getInt(QStringLiteral("slider")), 300) << "an older write of ours was read back as an edit";
        EXPECT_EQ(spy.count(), 302);

        d.setInt(QStringLiteral("slider"), 301);
        d.remove(QStringLiteral("other"));
    }
    const QJsonObject last = onDisk(path);
    EXPECT_EQ(last.value(QStringLiteral("slider")).toInt(), 301);
    EXPECT_FALSE(last.contains(QStringLiteral("other")));
}
