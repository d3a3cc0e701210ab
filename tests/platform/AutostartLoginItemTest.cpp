#include "platform/linux/AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString kExe = QStringLiteral("/opt/veltranmoor/bin/veltranmoor");

void writeEntry(const QByteArray& text)
{
    QDir().mkpath(QFileInfo(AutostartLoginItem::entryPath()).absolutePath());
    QFile f(AutostartLoginItem::entryPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QByteArray readEntry()
{
    QFile f(AutostartLoginItem::entryPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(AutostartLoginItem, ExecIsQuotedAndEscapedPerDesktopEntryRules)
{
    struct Case {
        QString program;
        QString exec;
    };
    const Case cases[] = {
        {kExe, QStringLiteral("\"/opt/veltranmoor/bin/veltranmoor\"")},
        {QStringLiteral("/home/a b/Veltranmoor AI"), QStringLiteral("\"/home/a b/Veltranmoor AI\"")},
        {QStringLiteral("/x/$HOME`q`\"x"), QStringLiteral("\"/x/\\\\$HOME\\\\`q\\\\`\\\\\"x\"")},
        // Every backslash, whether from the path or added by the quoting, is escaped again as a string value.
        {QStringLiteral("/x/a\\b"), QStringLiteral("\"/x/a\\\\\\\\b\"")},
        {QStringLiteral("/x/100%u"), QStringLiteral("\"/x/100%%u\"")},
        {QStringLiteral("relative/veltranmoor"), QString()},
        {QStringLiteral("/x/a\nb"), QString()},
        {QString(), QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AutostartLoginItem::execValue(c.program), c.exec) << c.program.toStdString();
}

TEST(AutostartLoginItem, RegisterWritesAnEnabledEntryAndUnregisterRemovesIt)
{
    AutostartLoginItem item(kExe);
    EXPECT_EQ(item.status(), LoginItemService::Status::notRegistered);
    ASSERT_TRUE(item.registerItem().ok());
    EXPECT_EQ(AutostartLoginItem::entryPath(), qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/veltranmoor.desktop");
    const QByteArray text = readEntry();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    for (const char* line : {"Type=Application\n", "Name=Veltranmoor AI\n", "Exec=\"/opt/veltranmoor/bin/veltranmoor\" --autostart\n",
                             "Icon=veltranmoor\n", "X-GNOME-Autostart-enabled=true\n"})
        EXPECT_TRUE(text.contains(line)) << line;
    EXPECT_EQ(item.status(), LoginItemService::Status::enabled);

    ASSERT_TRUE(item.unregisterItem().ok());
    EXPECT_FALSE(QFile::exists(AutostartLoginItem::entryPath()));
    EXPECT_EQ(item.status(), LoginItemService::Status::notRegistered);
    EXPECT_TRUE(item.unregisterItem().ok());  // nothing there: nothing to do
}

TEST(AutostartLoginItem, TheEntryOfOurNameIsOursWhateverItStartsAndTheDesktopMayTurnItOff)
{
    AutostartLoginItem item(kExe);
    // An older install's entry: not this executable, so not enabled, but it does start at login
    // and unregistering removes it.
    writeEntry("[Desktop Entry]\nType=Application\nExec=/usr/local/bin/veltranmoor --autostart\n");
    EXPECT_EQ(item.status(), LoginItemService::Status::notRegistered);
    EXPECT_TRUE(item.startsAtLogin());
    EXPECT_FALSE(item.turnedOffByDesktop());
    EXPECT_TRUE(item.unregisterItem().ok());
    EXPECT_FALSE(QFile::exists(AutostartLoginItem::entryPath()));

    // Our Exec, but under another group: starts nothing of ours.
    writeEntry("[Other]\nExec=\"/opt/veltranmoor/bin/veltranmoor\"\n");
    EXPECT_EQ(item.status(), LoginItemService::Status::notRegistered);

    // Turned off by the session's start-up settings.
    for (const QByteArray& text : {QByteArray("[Desktop Entry]\nExec=\"/opt/veltranmoor/bin/veltranmoor\"\nHidden=true\n"),
                                   QByteArray("[Desktop Entry]\nExec=\"/opt/veltranmoor/bin/veltranmoor\"\n"
                                              "X-GNOME-Autostart-enabled=false\n")}) {
        writeEntry(text);
        EXPECT_EQ(item.status(), LoginItemService::Status::notRegistered) << text.toStdString();
        EXPECT_FALSE(item.startsAtLogin());
        EXPECT_TRUE(item.turnedOffByDesktop());
    }

    // An entry written before the start-up flag existed is still this executable's.
    writeEntry("[Desktop Entry]\nExec=\"/opt/veltranmoor/bin/veltranmoor\"\n");
    EXPECT_EQ(item.status(), LoginItemService::Status::enabled);

    ASSERT_TRUE(item.registerItem().ok());
    EXPECT_TRUE(readEntry().contains("Exec=\"/opt/veltranmoor/bin/veltranmoor\" --autostart\n"));
    EXPECT_EQ(item.status(), LoginItemService::Status::enabled);
}

TEST(AutostartLoginItem, RegisterFailsWithAReasonWhenTheFolderCannotBeMade)
{
    // A plain file where the folder belongs: refused even for root.
    QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME"));
    QFile blocker(qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AutostartLoginItem item(kExe);
    const Status s = item.registerItem();
    EXPECT_FALSE(s.ok());
    EXPECT_FALSE(s.error().isEmpty());
    EXPECT_EQ(item.status(), LoginItemService::Status::notRegistered);

    EXPECT_FALSE(AutostartLoginItem(QStringLiteral("veltranmoor")).registerItem().ok());
}

TEST(AutostartLoginItem, LoginStartsTheInstalledBinaryWhenThereIsOne)
{
    const QString home = qEnvironmentVariable("HOME");
    const QString build = home + QStringLiteral("/src/build/release/src/veltranmoor");
    const QString pathDir = home + QStringLiteral("/path");
    QDir().mkpath(pathDir);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", pathDir.toUtf8());
    auto install = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    };

    EXPECT_EQ(AutostartLoginItem::preferredExecutable(build), build) << "nothing installed";
    install(home + QStringLiteral("/.local/bin/veltranmoor"));
    EXPECT_EQ(AutostartLoginItem::preferredExecutable(build), home + QStringLiteral("/.local/bin/veltranmoor"));
    install(pathDir + QStringLiteral("/veltranmoor"));
    EXPECT_EQ(AutostartLoginItem::preferredExecutable(build), pathDir + QStringLiteral("/veltranmoor")) << "PATH comes first";
    EXPECT_EQ(AutostartLoginItem::preferredExecutable(kExe), kExe) << "an installed binary that runs is itself the one";
    qputenv("PATH", savedPath);
}
