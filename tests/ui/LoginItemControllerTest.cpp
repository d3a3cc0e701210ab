#include "ui/shell/LoginItemController.h"

#include "core/AppSettings.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "platform/linux/AutostartLoginItem.h"
#include "support/ManualClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kExe = QStringLiteral("/opt/Veltranmoor AI/veltranmoor");

struct LoginRig : ::testing::Test {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    ManualClock clock;
    AppSettings settings{defaults, clock, QLocale(QLocale::English, QLocale::UnitedKingdom)};
    AutostartLoginItem autostart{kExe};
    LoginItemController controller{settings, autostart};
    QStringList logged;

    void SetUp() override
    {
        Log::setSink([this](const QString& l) { logged << l; });
    }
    void TearDown() override { Log::setSink({}); }

    static void settle() { QCoreApplication::processEvents(); }
    static bool entryExists() { return QFile::exists(AutostartLoginItem::entryPath()); }
    static QByteArray entry()
    {
        QFile f(AutostartLoginItem::entryPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeEntry(const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(AutostartLoginItem::entryPath()).absolutePath());
        QFile f(AutostartLoginItem::entryPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

}  // namespace

TEST_F(LoginRig, StartAppliesTheSettingAtOnce)
{
    controller.start();
    EXPECT_FALSE(entryExists());
    EXPECT_EQ(controller.lastApplied(), std::optional<bool>(false));

    LoginItemController second{settings, autostart};
    settings.setLaunchAtLogin(true);
    second.start();
    EXPECT_TRUE(entry().contains("Exec=\"/opt/Veltranmoor AI/veltranmoor\" --autostart\n"));
    EXPECT_EQ(second.lastApplied(), std::optional<bool>(true));
    EXPECT_TRUE(logged.isEmpty());
}

TEST_F(LoginRig, TogglingTheSettingWritesAndRemovesTheEntryAndOtherKeysDoNothing)
{
    controller.start();
    settings.setLaunchAtLogin(true);
    settle();
    ASSERT_TRUE(entryExists());
    EXPECT_EQ(autostart.status(), LoginItemService::Status::enabled);

    // Acted on once: with the entry gone behind its back, other keys do not bring it back.
    QFile::remove(AutostartLoginItem::entryPath());
    settings.setCpuThreshold(70);
    settle();
    EXPECT_FALSE(entryExists());

    settings.setLaunchAtLogin(false);
    settle();
    settings.setLaunchAtLogin(true);
    settle();
    EXPECT_TRUE(entryExists());
    settings.setLaunchAtLogin(false);
    settle();
    EXPECT_FALSE(entryExists());
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_TRUE(logged.isEmpty());
}

TEST_F(LoginRig, RefusedRegistrationIsLoggedAndTurnsTheSettingBackOff)
{
    // A plain file where the autostart folder belongs cannot be written into, even by root.
    QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME"));
    QFile blocker(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    controller.start();
    settings.setLaunchAtLogin(true);
    settle();
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].startsWith(QStringLiteral("LoginItemController register/unregister failed: ")));
    EXPECT_TRUE(logged[0].endsWith(QStringLiteral(" (svc.status=0)"))) << logged[0].toStdString();
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_EQ(controller.lastApplied(), std::optional<bool>(false));

    // The write-back and later changes of other keys make no second attempt.
    settings.setCpuThreshold(70);
    settle();
    EXPECT_EQ(logged.size(), 1);
    EXPECT_FALSE(settings.launchAtLogin());
}

TEST_F(LoginRig, TheDesktopsChoiceWinsAndAnOlderInstallsEntryIsReplacedOrRemoved)
{
    // Turned off in the desktop's session settings: the setting follows, the entry stays as is.
    const QByteArray hidden = "[Desktop Entry]\nExec=\"/opt/Veltranmoor AI/veltranmoor\" --autostart\nHidden=true\n";
    writeEntry(hidden);
    settings.setLaunchAtLogin(true);
    controller.start();
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_EQ(entry(), hidden);
    settle();
    EXPECT_EQ(entry(), hidden);

    // An older install's entry starts another path: with the setting off it goes ...
    writeEntry("[Desktop Entry]\nExec=/usr/bin/veltranmoor-old --autostart\n");
    LoginItemController off{settings, autostart};
    off.start();
    EXPECT_FALSE(entryExists());

    // ... and with the setting on it is replaced by this executable's.
    writeEntry("[Desktop Entry]\nExec=/usr/bin/veltranmoor-old --autostart\n");
    settings.setLaunchAtLogin(true);
    LoginItemController on{settings, autostart};
    on.start();
    EXPECT_TRUE(entry().contains("Exec=\"/opt/Veltranmoor AI/veltranmoor\" --autostart\n"));
}
