#include "ServicesTestSupport.h"

#include "core/Dates.h"
#include "core/Paths.h"
#include "services/UserDataCenter.h"
#include "support/InlineExecutor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// What the Trash holds of this test's home, as trash-list (another implementation of the Trash) reads it.
QStringList trashListed()
{
    const QString trashList = QStandardPaths::findExecutable(QStringLiteral("trash-list"));
    EXPECT_FALSE(trashList.isEmpty()) << "trash-list (package trash-cli) is needed: scripts/install-deps test";
    QProcess list;
    list.start(trashList, {});
    EXPECT_TRUE(list.waitForFinished(30000));
    QStringList paths;
    for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // "<date> <time> <path>". It lists the Trash of every mounted file system too, where
        // other programs (and other tests) leave their own items: only this home's count.
        const QString path = line.section(QLatin1Char(' '), 2);
        if (path.startsWith(QDir::homePath() + QLatin1Char('/'))) paths.append(path);
    }
    paths.sort();
    return paths;
}

struct DataCenter {
    SettingsStore store;
    InlineExecutor worker;
    QStringList revealed;
    int quits = 0;
    UserDataCenter center;

    explicit DataCenter(QString executable = QDir::homePath() + QStringLiteral("/src/veltranmoor/build/src/veltranmoor"))
        : center(UserDataCenter::Collaborators{
              .defaults = *store.defaults,
              .worker = worker,
              .clock = store.clock,
              .executablePath = std::move(executable),
              .revealFile = [this](const QString& path) { revealed.append(path); },
              .quit = [this] { ++quits; },
          })
    {
    }

    bool waitForAction()
    {
        return QTest::qWaitFor([&] { return !center.busy(); }, 10000);
    }
};

// A data folder as the application leaves it.
void makeFixtureDataFolder()
{
    const QString data = Paths::appSupportDir();
    writeFile(data + QStringLiteral("/autopilot_history.json"),
              R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","startedAt":800000000.5,"trigger":"scheduled","steps":[],"bytesFreed":1024}])");
    writeFile(data + QStringLiteral("/process_incidents.json"), R"({"incidents":[]})");
    writeFile(data + QStringLiteral("/AI/baselines.json"), R"({"firefox":{"mean":12.5}})");
    writeFile(data + QStringLiteral("/ai-shield.log"), "[2026-03-02T12:00:00Z] started\n");
    writeFile(data + QStringLiteral("/Snapshots/3f/thesis.tex.rev1"), QByteArray("\x00\x01\xfe\xff binary", 11));
    writeFile(data + QStringLiteral("/.hidden"), "h");
}

}  // namespace

TEST(UserDataCenter, ExportIsOneJsonDocumentWithEveryStoredFile)
{
    DataCenter t;
    makeFixtureDataFolder();
    t.store.settings->setByoKeyValue(QStringLiteral("sk-secret"));
    t.store.settings->setAutoPilotEnabled(false);
    t.store.settings->setProtectedProcessesData(QByteArray("[\"Xorg\"]"));
    const QDateTime lastRun(QDate(2026, 3, 1), QTime(3, 0), QTimeZone::utc());
    t.store.defaults->setDouble(QStringLiteral("autopilot_last_run"), Dates::toReferenceSeconds(lastRun));

    const QString target = QDir::homePath() + QStringLiteral("/exports/") + UserDataCenter::exportFileName;
    writeFile(target, "an older export that is replaced");
    t.center.exportMyData(target);
    ASSERT_TRUE(t.waitForAction());
    EXPECT_EQ(t.center.lastAction(), QStringLiteral("Exported to Veltranmoor-my-data.json."));
    EXPECT_EQ(t.revealed, QStringList{target});

    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QJsonParseError error{};
    const QJsonObject doc = QJsonDocument::fromJson(text, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << text.left(200).constData();
    EXPECT_TRUE(text.contains("\n    \"settings\": {\n        \"")) << "pretty printed, nested objects indented";
    EXPECT_LT(text.indexOf("\"appVersion\""), text.indexOf("\"exportedAt\""));
    EXPECT_LT(text.indexOf("\"exportedAt\""), text.indexOf("\"settings\""));

    EXPECT_EQ(doc.value(QLatin1String("exportedAt")).toString(), QStringLiteral("2026-03-02T12:00:00Z"));
    const QJsonObject settings = doc.value(QLatin1String("settings")).toObject();
    EXPECT_EQ(settings.value(QLatin1String("byoKeyValue")).toString(), QStringLiteral("<redacted>"));
    EXPECT_EQ(settings.value(QLatin1String("autoPilotEnabled")), QJsonValue(false));
    EXPECT_EQ(QByteArray::fromBase64(settings.value(QLatin1String("protectedProcessesData")).toString().toLatin1()),
              QByteArray("[\"Xorg\"]"));
    EXPECT_EQ(settings.value(QLatin1String("autopilot_last_run")).toString(), QStringLiteral("2026-03-01T03:00:00Z"));

    const QJsonArray history = doc.value(QLatin1String("maintenanceHistory")).toArray();
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].toObject().value(QLatin1String("trigger")).toString(), QStringLiteral("scheduled"));

    const QJsonObject files = doc.value(QLatin1String("storedFiles")).toObject();
    EXPECT_EQ(files.keys(), (QStringList{".hidden", "AI/baselines.json", "Snapshots/3f/thesis.tex.rev1", "ai-shield.log",
                                         "autopilot_history.json", "process_incidents.json"}));
    EXPECT_EQ(files.value(QLatin1String("AI/baselines.json")).toObject().value(QLatin1String("json")).toObject()
                  .value(QLatin1String("firefox")).toObject().value(QLatin1String("mean")).toDouble(), 12.5);
    EXPECT_EQ(QByteArray::fromBase64(files.value(QLatin1String("ai-shield.log")).toObject().value(QLatin1String("base64")).toString().toLatin1()),
              QByteArray("[2026-03-02T12:00:00Z] started\n"));
    // A Work Guard revision is a copy of the user's document: listed with its size, not copied.
    const QJsonObject revision = files.value(QLatin1String("Snapshots/3f/thesis.tex.rev1")).toObject();
    EXPECT_EQ(revision.keys(), (QStringList{"bytes", "modifiedAt"}));
    EXPECT_EQ(revision.value(QLatin1String("bytes")).toDouble(), 11);
}

namespace {

qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

}  // namespace

// A store of about 300 MB, nearly all of it Work Guard's revisions: the export lists them
// without reading them, is valid JSON, and the application grows by far less than 50 MiB.
TEST(UserDataCenter, ExportOfALargeStoreStaysSmallInMemory)
{
    DataCenter t;
    makeFixtureDataFolder();
    const QString data = Paths::appSupportDir();
    constexpr int revisions = 300;
    constexpr qint64 revisionBytes = 1024 * 1024;
    for (int i = 0; i < revisions; ++i) {
        const QString path = data + QStringLiteral("/Snapshots/%1/report-%2.odt").arg(i % 30, 2, 16, QLatin1Char('0')).arg(i);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(revisionBytes));  // sparse: made at once, read back as zeros
    }
    QByteArray history = "[";
    for (int i = 0; i < 4000; ++i) history += (i ? "," : "") + QByteArray(R"({"cpu":12.5,"t":800000000})");
    writeFile(data + QStringLiteral("/AI/cpu_history.json"), history + "]");

    const QString target = QDir::homePath() + QStringLiteral("/") + UserDataCenter::exportFileName;
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    ASSERT_TRUE(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1) << "resets the peak resident size";
    clear.close();
    const qint64 before = statusKiB("VmRSS:");
    t.center.exportMyData(target);
    ASSERT_TRUE(t.waitForAction());
    const qint64 peak = statusKiB("VmHWM:");
    ASSERT_GT(before, 0);
    EXPECT_LT(peak - before, 50 * 1024) << "peak " << peak << " KiB, before " << before << " KiB";
    EXPECT_EQ(t.center.lastAction(), QStringLiteral("Exported to Veltranmoor-my-data.json."));

    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_LT(file.size(), 2 * 1024 * 1024);
    QJsonParseError error{};
    const QJsonObject doc = QJsonDocument::fromJson(file.readAll(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject files = doc.value(QLatin1String("storedFiles")).toObject();
    int listed = 0;
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (!it.key().startsWith(QLatin1String("Snapshots/"))) continue;
        ++listed;
        EXPECT_EQ(it.value().toObject().keys(), (QStringList{"bytes", "modifiedAt"})) << it.key().toStdString();
    }
    EXPECT_EQ(listed, revisions + 1);
    EXPECT_EQ(files.value(QLatin1String("Snapshots/00/report-0.odt")).toObject().value(QLatin1String("bytes")).toDouble(),
              double(revisionBytes));
    EXPECT_EQ(files.value(QLatin1String("AI/cpu_history.json")).toObject().value(QLatin1String("json")).toArray().size(), 4000);
}

TEST(UserDataCenter, ExportWithoutHistoryOrToAnUnwritablePlace)
{
    DataCenter t;
    const QString target = QDir::homePath() + QStringLiteral("/out.json");
    t.center.exportMyData(target);
    ASSERT_TRUE(t.waitForAction());
    const QJsonObject doc = QJsonDocument::fromJson([&] {
                                QFile f(target);
                                f.open(QIODevice::ReadOnly);
                                return f.readAll();
                            }()).object();
    EXPECT_FALSE(doc.contains(QLatin1String("maintenanceHistory")));
    EXPECT_EQ(doc.value(QLatin1String("settings")).toObject().keys(), t.store.defaults->entries().keys());

    const QString blocked = QDir::homePath() + QStringLiteral("/file-not-folder");
    writeFile(blocked, "x");
    t.center.exportMyData(blocked + QStringLiteral("/out.json"));
    ASSERT_TRUE(t.waitForAction());
    EXPECT_TRUE(t.center.lastAction().startsWith(QStringLiteral("Export failed \u2014 "))) << t.center.lastAction().toStdString();
    EXPECT_GT(t.center.lastAction().size(), QStringLiteral("Export failed \u2014 ").size());
    EXPECT_EQ(t.revealed.size(), 1);
}

TEST(UserDataCenter, StoredSizeCountsAllocatedBytesInsideTheFolderOnly)
{
    EXPECT_EQ(UserDataCenter::storedDataSize(), 0u) << "no folder yet";
    makeFixtureDataFolder();
    const quint64 small = UserDataCenter::storedDataSize();
    EXPECT_GT(small, 0u);
    writeFile(Paths::appSupportDir() + QStringLiteral("/AI/big.json"), QByteArray(200 * 1024, 'x'));
    // A link to something large outside is not followed.
    writeFile(QDir::homePath() + QStringLiteral("/outside.bin"), QByteArray(1024 * 1024, 'y'));
    QFile::link(QDir::homePath() + QStringLiteral("/outside.bin"), Paths::appSupportDir() + QStringLiteral("/link"));
    QFile::link(QDir::homePath(), Paths::appSupportDir() + QStringLiteral("/homelink"));
    const quint64 grown = UserDataCenter::storedDataSize();
    EXPECT_GE(grown - small, 200u * 1024u);
    EXPECT_LT(grown - small, 260u * 1024u);

    DataCenter t;
    t.center.refreshStoredBytes();
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.center.storedBytes() == grown; }, 5000));
}

TEST(UserDataCenter, RestoreDefaultsKeepsOnlyTheDisclosureAndAsksForConsentAgain)
{
    DataCenter t;
    t.store.defaults->removeAllExcept({});
    t.center.resetSettings();
    EXPECT_TRUE(t.center.lastAction().isEmpty()) << "nothing stored: nothing happens";

    AppSettings& s = *t.store.settings;
    s.setTelemetryEnabled(false);
    s.setTelemetryConsentDecided(true);
    s.setByoKeyValue(QStringLiteral("sk-secret"));
    s.setCpuThreshold(55);
    s.setAiChatDisclosureAccepted(true);
    t.store.defaults->setBool(QStringLiteral("tavrilon.hud.showOnLaunch"), true);
    QStringList announced;
    QObject::connect(t.store.defaults.get(), &UserDefaults::changed, [&](const QString& key) { announced.append(key); });

    t.center.resetSettings();
    EXPECT_EQ(t.center.lastAction(),
              QStringLiteral("Settings restored to defaults. Quit and reopen Veltranmoor for every screen to pick this up."));
    EXPECT_EQ(t.store.defaults->entries().keys(), QStringList{QStringLiteral("aiChatDisclosureAccepted")});
    EXPECT_TRUE(s.telemetryEnabled());
    EXPECT_FALSE(s.telemetryConsentDecided());
    EXPECT_EQ(s.byoKeyValue(), QString());
    EXPECT_EQ(s.cpuThreshold(), 80.0);
    EXPECT_TRUE(s.aiChatDisclosureAccepted());
    EXPECT_TRUE(announced.contains(QStringLiteral("telemetryConsentDecided")));
    EXPECT_TRUE(announced.contains(QStringLiteral("tavrilon.hud.showOnLaunch")));
    // The file holds the same.
    UserDefaults reread(t.store.defaults->filePath());
    EXPECT_EQ(reread.entries().keys(), QStringList{QStringLiteral("aiChatDisclosureAccepted")});
}

TEST(UserDataCenter, ClearMovesExactlyTheDataFolderContentsToTheTrash)
{
    const struct {
        QStringList items;
        QString text;
    } cases[] = {
        {{}, QStringLiteral("Nothing stored to clear.")},
        {{QStringLiteral("autopilot_history.json")}, QStringLiteral("Moved 1 stored item to the Trash.")},
        {{QStringLiteral("AI/x.json"), QStringLiteral(".hidden")}, QStringLiteral("Moved 2 stored items to the Trash.")},
    };
    for (const auto& c : cases) {
        QDir(Paths::appSupportDir()).removeRecursively();
        QDir(Paths::trashDir()).removeRecursively();
        for (const QString& item : c.items) writeFile(Paths::appSupportDir() + QLatin1Char('/') + item, "{}");
        // Not ours: stays where it is.
        writeFile(Paths::dataHome() + QStringLiteral("/other-app/state.json"), "{}");
        DataCenter t;
        t.store.defaults->setDouble(QStringLiteral("autopilot_last_run"), 1000.0);
        t.store.settings->setCpuThreshold(42);

        t.center.clearStoredData();
        ASSERT_TRUE(t.waitForAction());
        EXPECT_EQ(t.center.lastAction(), c.text);
        QStringList expected;
        for (const QString& item : c.items) expected.append(Paths::appSupportDir() + QLatin1Char('/') + item.section(QLatin1Char('/'), 0, 0));
        expected.sort();
        EXPECT_EQ(trashListed(), expected);
        EXPECT_TRUE(QFileInfo::exists(Paths::dataHome() + QStringLiteral("/other-app/state.json")));
        if (!c.items.isEmpty()) {
            EXPECT_TRUE(QFileInfo(Paths::appSupportDir()).isDir()) << "the folder itself stays";
            EXPECT_TRUE(QDir(Paths::appSupportDir()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        }
        EXPECT_FALSE(t.store.defaults->contains(QStringLiteral("autopilot_last_run")));
        EXPECT_EQ(t.store.settings->cpuThreshold(), 42.0);
    }
}

TEST(UserDataCenter, UninstallFromABuildFolderMovesTheUserDataAndAutostartEntryAfterQuitting)
{
    makeFixtureDataFolder();
    writeFile(Paths::configDir() + QStringLiteral("/settings.json"), "{}");
    writeFile(Paths::configHome() + QStringLiteral("/autostart/veltranmoor.desktop"), "[Desktop Entry]\n");
    writeFile(Paths::configHome() + QStringLiteral("/autostart/other.desktop"), "[Desktop Entry]\n");
    const QString build = QDir::homePath() + QStringLiteral("/src/veltranmoor/build/src/veltranmoor");
    writeFile(build, "ELF");

    DataCenter t(build);
    EXPECT_EQ(UserDataCenter::installKind(build), UserDataCenter::InstallKind::buildTree);
    const QStringList items = {Paths::appSupportDir(), Paths::configDir(),
                               Paths::configHome() + QStringLiteral("/autostart/veltranmoor.desktop")};
    EXPECT_EQ(t.center.storedItemURLs(), items) << "no cache folder yet, and never the build";

    t.center.uninstallApp();
    EXPECT_EQ(t.quits, 1);
    EXPECT_TRUE(QFileInfo::exists(Paths::appSupportDir())) << "nothing moves while the managers still run";
    UserDataCenter::finishPendingUninstall();
    QStringList sorted = items;
    sorted.sort();
    EXPECT_EQ(trashListed(), sorted);
    EXPECT_TRUE(QFileInfo::exists(build));
    EXPECT_TRUE(QFileInfo::exists(Paths::configHome() + QStringLiteral("/autostart/other.desktop")));
    UserDataCenter::finishPendingUninstall();  // once only
    EXPECT_EQ(trashListed(), sorted);
}

TEST(UserDataCenter, UninstallOfAnInstalledCopy)
{
    // make install under the user's own prefix: its files go last.
    const QString prefix = QDir::homePath() + QStringLiteral("/.local");
    const QStringList installed = {
        prefix + QStringLiteral("/bin/veltranmoor"),
        prefix + QStringLiteral("/share/applications/veltranmoor.desktop"),
        prefix + QStringLiteral("/share/icons/hicolor/32x32/apps/veltranmoor.png"),
        prefix + QStringLiteral("/share/icons/hicolor/scalable/apps/veltranmoor.svg"),
    };
    for (const QString& file : installed) writeFile(file, "x");
    writeFile(prefix + QStringLiteral("/share/applications/other.desktop"), "x");
    const QString mimeCache = prefix + QStringLiteral("/share/applications/mimeinfo.cache");
    writeFile(mimeCache, "[MIME Cache]\nx-scheme-handler/veltranmoor=veltranmoor.desktop;\n");
    writeFile(Paths::cacheDir() + QStringLiteral("/c"), "x");
    const auto plan = UserDataCenter::uninstallPlan(installed[0]);
    EXPECT_TRUE(plan.refusal.isEmpty());
    QStringList paths;
    for (const auto& item : plan.items) paths.append(item.path);
    EXPECT_EQ(paths, QStringList{Paths::cacheDir()} + installed);
    EXPECT_EQ(UserDataCenter::carryOut(plan), 5);
    for (const QString& file : installed) EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_TRUE(QFileInfo::exists(prefix + QStringLiteral("/share/applications/other.desktop")));
    QFile cache(mimeCache);
    EXPECT_TRUE(!cache.open(QIODevice::ReadOnly) || !cache.readAll().contains("veltranmoor.desktop"))
        << "veltranmoor:// no longer names the moved entry";

    // The package manager's copy is not touched, and says how to remove it.
    writeFile(Paths::appSupportDir() + QStringLiteral("/x.json"), "{}");
    DataCenter packaged(QStringLiteral("/usr/bin/veltranmoor"));
    packaged.center.uninstallApp();
    EXPECT_EQ(packaged.quits, 0);
    EXPECT_TRUE(packaged.center.lastAction().contains(QStringLiteral("sudo apt remove veltranmoor")))
        << packaged.center.lastAction().toStdString();
    UserDataCenter::finishPendingUninstall();
    EXPECT_TRUE(QFileInfo::exists(Paths::appSupportDir() + QStringLiteral("/x.json")));
}
