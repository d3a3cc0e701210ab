// The permissions center: the Linux probes on fixture trees, and the center's items, counts
// and requests.
#include "platform/linux/LinuxPermissionProbes.h"
#include "support/ManualClock.h"
#include "support/PrivateSessionBus.h"
#include "support/ManualScheduler.h"
#include "ui/shell/PermissionsCenter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Folder = PermissionProbes::Folder;

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

LinuxPermissionProbes::Roots roots(const QTemporaryDir& dir)
{
    LinuxPermissionProbes::Roots r;
    r.journalDirs = {dir.filePath(QStringLiteral("journal"))};
    r.inputDir = dir.filePath(QStringLiteral("input"));
    r.home = dir.filePath(QStringLiteral("home"));
    r.userDirsConfig = dir.filePath(QStringLiteral("user-dirs.dirs"));
    r.currentDesktop = QStringLiteral("none");
    return r;
}

struct FakeProbes final : PermissionProbes {
    PermissionState all = PermissionState::granted;
    PermissionState notificationAnswer = PermissionState::granted;
    QMap<Folder, PermissionState> folders;
    QMap<Folder, QString> paths;
    bool settingsAvailable = true;
    QStringList opened;
    QStringList shown;
    int notificationQueries = 0;

    PermissionState fullDiskAccess() const override { return all; }
    PermissionState accessibility() const override { return all; }
    QString folderPath(Folder f) const override { return paths.value(f); }
    PermissionState folder(Folder f) const override { return folders.value(f, all); }
    void notifications(QObject* context, std::function<void(PermissionState)> answer) override
    {
        ++notificationQueries;
        QMetaObject::invokeMethod(context, [answer, state = notificationAnswer] { answer(state); }, Qt::QueuedConnection);
    }
    bool openSettings(const QString& pane) override
    {
        opened << pane;
        return settingsAvailable;
    }
    void showInFiles(const QString& path) override { shown << path; }
};

struct CenterRig {
    FakeProbes probes;
    ManualClock clock;
    ManualScheduler scheduler{clock};
    std::unique_ptr<PermissionsCenter> center;
    void create() { center = std::make_unique<PermissionsCenter>(probes, scheduler, clock); }
    const PermissionItem& item(const QString& id) const
    {
        for (const PermissionItem& i : center->items())
            if (i.id == id) return i;
        static PermissionItem none;
        return none;
    }
};

}  // namespace

TEST(LinuxPermissionProbes, JournalInputAndFolders)
{
    QTemporaryDir dir;
    LinuxPermissionProbes::Roots r = roots(dir);
    {
        const LinuxPermissionProbes probes(r);
        EXPECT_EQ(probes.fullDiskAccess(), PermissionState::denied) << "no journal";
        EXPECT_EQ(probes.accessibility(), PermissionState::granted) << "an X11 session";
        EXPECT_EQ(probes.folder(Folder::downloads), PermissionState::notDetermined) << "a missing folder";
        EXPECT_EQ(probes.folderPath(Folder::desktop), r.home + QStringLiteral("/Desktop"));
    }
    writeFile(dir.filePath(QStringLiteral("journal/0123abcd/system.journal")), "LPKSHHRH");
    QDir().mkpath(r.home + QStringLiteral("/Desktop"));
    QDir().mkpath(r.home + QStringLiteral("/Stuff/Docs"));
    writeFile(r.userDirsConfig, "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Stuff/Docs\"\nXDG_DOWNLOAD_DIR=\"$HOME\"\n"
                                "XDG_DESKTOP_DIR=\"relative/nonsense\"\n");
    const LinuxPermissionProbes probes(r);
    EXPECT_EQ(probes.fullDiskAccess(), PermissionState::granted);
    EXPECT_EQ(probes.folderPath(Folder::documents), r.home + QStringLiteral("/Stuff/Docs"));
    EXPECT_EQ(probes.folderPath(Folder::desktop), r.home + QStringLiteral("/Desktop")) << "a relative value is ignored";
    EXPECT_EQ(probes.folderPath(Folder::downloads), r.home + QStringLiteral("/Downloads")) << "the home itself means unset";
    EXPECT_EQ(probes.folder(Folder::documents), PermissionState::granted);
    writeFile(r.home + QStringLiteral("/Downloads"), "a file, not a folder");
    EXPECT_EQ(probes.folder(Folder::downloads), PermissionState::denied);

    r.wayland = true;
    const LinuxPermissionProbes wayland(r);
    EXPECT_EQ(wayland.accessibility(), PermissionState::denied) << "no readable input device";
    writeFile(r.inputDir + QStringLiteral("/event3"), "");
    EXPECT_EQ(wayland.accessibility(), PermissionState::granted);
}

TEST(LinuxPermissionProbes, SettingsCommandPerDesktop)
{
    EXPECT_EQ(LinuxPermissionProbes::settingsCommand(QStringLiteral("ubuntu:GNOME"), QStringLiteral("privacy")),
              (QStringList{"gnome-control-center", "privacy"}));
    EXPECT_EQ(LinuxPermissionProbes::settingsCommand(QStringLiteral("KDE"), QStringLiteral("notifications")),
              (QStringList{"systemsettings", "notifications"}));
    EXPECT_TRUE(LinuxPermissionProbes::settingsCommand(QStringLiteral("XFCE"), QStringLiteral("privacy")).isEmpty());
    EXPECT_TRUE(LinuxPermissionProbes::settingsCommand(QString(), QStringLiteral("privacy")).isEmpty());
}

// A notification server that only says who it is, on its own bus connection.
class InfoOnlyNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    InfoOnlyNotificationServer()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("info-notifications")))
    {
        registered = m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                          QDBusConnection::ExportAllSlots) &&
                     m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~InfoOnlyNotificationServer() override { QDBusConnection::disconnectFromBus(QStringLiteral("info-notifications")); }
    bool registered = false;

public Q_SLOTS:
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = version = specVersion = QStringLiteral("1");
        return QStringLiteral("fake");
    }

private:
    QDBusConnection m_bus;
};

TEST(LinuxPermissionProbes, NotificationsGrantedOnlyWhenTheServerAnswers)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid());
    QTemporaryDir dir;
    LinuxPermissionProbes probes(roots(dir));
    QObject context;
    auto ask = [&] {
        auto answer = std::make_shared<std::optional<PermissionState>>();
        probes.notifications(&context, [answer](PermissionState s) { *answer = s; });
        QTest::qWaitFor([&] { return answer->has_value(); }, 10000);
        return *answer;
    };
    EXPECT_EQ(ask(), PermissionState::denied);
    InfoOnlyNotificationServer server;
    ASSERT_TRUE(server.registered);
    EXPECT_EQ(ask(), PermissionState::granted);
}

TEST(PermissionsCenter, ItemsCountsAndTheNotificationAnswer)
{
    CenterRig r;
    r.probes.notificationAnswer = PermissionState::granted;
    r.create();
    ASSERT_EQ(r.center->items().size(), 6);
    QStringList ids;
    for (const PermissionItem& i : r.center->items()) ids << i.id;
    EXPECT_EQ(ids, (QStringList{"fda", "accessibility", "desktop", "documents", "downloads", "notifications"}));
    EXPECT_EQ(r.center->lastChecked(), r.clock.now());
    EXPECT_EQ(r.item(QStringLiteral("notifications")).state, PermissionState::notDetermined);
    EXPECT_EQ(r.center->missing(), 1) << "everything granted, notifications not yet answered";
    QCoreApplication::processEvents();
    EXPECT_EQ(r.center->missing(), 0);

    r.probes.all = PermissionState::denied;
    r.probes.notificationAnswer = PermissionState::denied;
    r.center->refresh();
    QCoreApplication::processEvents();
    EXPECT_EQ(r.center->missing(), 6);
}

TEST(PermissionsCenter, EachMissingItemOffersWhatLinuxCanDo)
{
    QTemporaryDir dir;
    const QString downloads = dir.filePath(QStringLiteral("Downloads"));
    const QString desktop = dir.filePath(QStringLiteral("Desktop"));
    ASSERT_TRUE(QDir().mkpath(desktop));
    ASSERT_TRUE(QFile::setPermissions(desktop, QFile::ReadOwner | QFile::ExeOwner));
    CenterRig r;
    r.probes.all = PermissionState::denied;
    r.probes.notificationAnswer = PermissionState::denied;
    r.probes.folders = {{Folder::downloads, PermissionState::notDetermined},
                        {Folder::desktop, PermissionState::denied},
                        {Folder::documents, PermissionState::granted}};
    r.probes.paths = {{Folder::downloads, downloads}, {Folder::desktop, desktop}};
    r.create();
    QCoreApplication::processEvents();

    const struct {
        const char* id;
        PermissionRemedy remedy;
        QString fix;
    } rows[] = {
        {"fda", PermissionRemedy::none, PermissionsCenter::journalFix},
        {"accessibility", PermissionRemedy::openSettings, QString()},
        {"desktop", PermissionRemedy::showInFiles, PermissionsCenter::folderModeText(desktop)},
        {"documents", PermissionRemedy::none, QString()},
        {"downloads", PermissionRemedy::createFolder, QString()},
        {"notifications", PermissionRemedy::none, PermissionsCenter::notificationServerFix},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        const PermissionItem& item = r.item(QString::fromLatin1(row.id));
        EXPECT_EQ(item.remedy, row.remedy);
        EXPECT_EQ(item.howToFix, row.fix);
    }
    EXPECT_EQ(r.item(QStringLiteral("fda")).name, QStringLiteral("System Journal"));
    EXPECT_TRUE(r.item(QStringLiteral("desktop")).howToFix.contains(QStringLiteral(" with mode dr-x------:")))
        << r.item(QStringLiteral("desktop")).howToFix.toStdString();

    // The journal's fix is a line, not a button: asking does nothing visible elsewhere.
    r.center->requestAccess(r.item(QStringLiteral("fda")));
    r.center->requestAccess(r.item(QStringLiteral("notifications")));
    EXPECT_TRUE(r.probes.opened.isEmpty());
    EXPECT_TRUE(r.probes.shown.isEmpty());
    r.center->requestAccess(r.item(QStringLiteral("desktop")));
    EXPECT_EQ(r.probes.shown, QStringList{desktop});
    r.center->requestAccess(r.item(QStringLiteral("accessibility")));
    EXPECT_EQ(r.probes.opened, QStringList{QStringLiteral("universal-access")});

    // Create Folder makes the folder off the main thread and probes again once it exists.
    QSignalSpy changed(r.center.get(), &PermissionsCenter::changed);
    r.center->requestAccess(r.item(QStringLiteral("downloads")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(downloads).isDir() && !changed.isEmpty(); }, 10000));

    const int queries = r.probes.notificationQueries;
    r.scheduler.advance(1499ms);
    EXPECT_EQ(r.probes.notificationQueries, queries);
    r.scheduler.advance(1ms);
    EXPECT_GT(r.probes.notificationQueries, queries) << "refreshed 1.5 s after a request";

    r.probes.settingsAvailable = false;
    r.center->openSettings(r.item(QStringLiteral("accessibility")));
    EXPECT_EQ(r.center->message(), PermissionsCenter::settingsUnavailableText);
    QFile::setPermissions(desktop, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(PermissionsCenter, FolderModeTextSaysWhyAFolderIsUnusable)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Documents"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(PermissionsCenter::folderModeText(file), file + QStringLiteral(" is a file, not a folder. Rename or move it, then Re-check."));
    EXPECT_TRUE(PermissionsCenter::folderModeText(dir.filePath(QStringLiteral("missing"))).isEmpty());
    const QString open = dir.filePath(QStringLiteral("Open"));
    ASSERT_TRUE(QDir().mkpath(open));
    ASSERT_TRUE(QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    EXPECT_TRUE(PermissionsCenter::folderModeText(open).startsWith(open + QStringLiteral(" belongs to ")));
    EXPECT_TRUE(PermissionsCenter::folderModeText(open).contains(QStringLiteral(" with mode drwxr-xr-x:")));
}

#include "PermissionsCenterTest.moc"
