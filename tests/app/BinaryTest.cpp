// Starts the real application with a private home, waits for its start-up lines, and checks
// that SIGTERM runs an orderly shutdown.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace {

QProcessEnvironment privateEnvironment(const QTemporaryDir& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
    env.insert("XDG_DATA_HOME", home.path() + "/.local/share");
    env.insert("XDG_CACHE_HOME", home.path() + "/.cache");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("LANG", "en_US.UTF-8");
    return env;
}

void startLogAndStop(int signal);

}  // namespace

TEST(Binary, StartsLogsAndStopsOnSigterm)
{
    startLogAndStop(SIGTERM);
}

// The session going away (SIGHUP) or a quit from the terminal (SIGQUIT) shut down in order too.
TEST(Binary, SighupAndSigquitShutDownInOrder)
{
    startLogAndStop(SIGHUP);
    startLogAndStop(SIGQUIT);
}

namespace {

void startLogAndStop(int signal)
{
    SCOPED_TRACE(signal);
    QTemporaryDir home;
    QProcess app;
    app.setProcessEnvironment(privateEnvironment(home));
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(VELTRANMOOR_BINARY), {});
    ASSERT_TRUE(app.waitForStarted(10000));

    QByteArray output;
    while (!output.contains("[SnoozeGuard] AppDelegate hook fired") && app.waitForReadyRead(30000)) output += app.readAll();
    ASSERT_TRUE(output.contains("[SnoozeGuard] AppDelegate hook fired, enabled=false")) << output.toStdString();
    EXPECT_TRUE(output.contains("offscreen")) << "says once that it runs without a display";

    ::kill(app.processId(), signal);
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << app.readAll().toStdString();

    QFile settings(home.path() + "/.config/Veltranmoor/settings.json");
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QJsonObject stored = QJsonDocument::fromJson(settings.readAll()).object();
    EXPECT_EQ(stored.value("migration_4_2_1_autoCleanDownloads_optIn").toBool(), true);
    EXPECT_EQ(stored.value("autoCleanDownloads").toBool(true), false);
    EXPECT_EQ(stored.value("telemetryEnabled").toBool(false), true) << "a US locale defaults telemetry on";
}

}  // namespace

TEST(Binary, HelpAndVersion)
{
    QProcess app;
    app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--version")});
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_TRUE(app.readAllStandardOutput().contains(VELTRANMOOR_VERSION));

    app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--help")});
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_TRUE(app.readAllStandardOutput().contains("--version"));
}
