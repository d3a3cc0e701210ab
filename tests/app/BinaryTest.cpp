// Starts the real application with a private home, waits for its start-up lines, and checks
// that SIGTERM runs an orderly shutdown.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
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
    // The region comes from the regional formats: none of the runner's may decide it.
    for (const char* category : {"LC_ALL", "LC_MONETARY", "LC_TIME", "LC_PAPER", "LC_MEASUREMENT"}) env.remove(category);
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

// Folders it cannot write to: each file is reported once however often it is written, and the
// application goes on running its engines. A regular file stands where each folder should be, so
// the writes fail for root too.
TEST(Binary, UnwritableFoldersAreReportedOncePerFileAndItKeepsRunning)
{
    QTemporaryDir home;
    QDir().mkpath(home.path() + "/.config");
    QDir().mkpath(home.path() + "/.local/share");
    for (const char* blocked : {"/.config/Veltranmoor", "/.local/share/Veltranmoor"}) {
        QFile f(home.path() + blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QProcess app;
    app.setProcessEnvironment(privateEnvironment(home));
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(VELTRANMOOR_BINARY), {});
    ASSERT_TRUE(app.waitForStarted(10000));

    QByteArray output;
    while (!output.contains("Monitoring started") && app.waitForReadyRead(30000)) output += app.readAll();
    // Let the start-up writes and a few samples run on.
    QDeadlineTimer settle(5000);
    while (!settle.hasExpired()) {
        app.waitForReadyRead(int(settle.remainingTime()));
        output += app.readAll();
    }
    EXPECT_EQ(app.state(), QProcess::Running) << output.toStdString();
    EXPECT_TRUE(output.contains("[Veltranmoor] System Check: Veltranmoor \xe2\x80\x94 Monitoring started")) << output.toStdString();
    const QByteArray settingsLine = "[Veltranmoor] Cannot save " + home.path().toUtf8() + "/.config/Veltranmoor/settings.json (";
    EXPECT_EQ(output.count(settingsLine), 1) << output.toStdString();
    EXPECT_EQ(output.count("Cannot save"), output.count("\n[Veltranmoor] Cannot save")) << "one line each";

    ::kill(app.processId(), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000));
    output += app.readAll();
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[Veltranmoor] Shutting down"));
    EXPECT_EQ(output.count(settingsLine), 1) << "the writes at shutdown are not told again";
}

// The options are answered before any window system is contacted: a display that is named but
// not there, or none at all, changes nothing.
TEST(Binary, HelpAndVersionNeedNoDisplay)
{
    for (const char* display : {":987", ""}) {
        SCOPED_TRACE(display);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        if (*display) env.insert("DISPLAY", display);
        else env.remove("DISPLAY");
        QProcess app;
        app.setProcessEnvironment(env);

        app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--version")});
        ASSERT_TRUE(app.waitForFinished(30000));
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        EXPECT_TRUE(app.readAllStandardOutput().contains(VELTRANMOOR_VERSION));
        EXPECT_EQ(app.readAllStandardError(), QByteArray());

        app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--help")});
        ASSERT_TRUE(app.waitForFinished(30000));
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        const QByteArray usage = app.readAllStandardOutput();
        EXPECT_TRUE(usage.startsWith("Usage: ")) << usage.toStdString();
        EXPECT_TRUE(usage.contains("--version"));
        EXPECT_TRUE(usage.contains("veltranmoor://dashboard"));
        EXPECT_EQ(app.readAllStandardError(), QByteArray()) << "no display line, no platform error";

        app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--no-such-option")});
        ASSERT_TRUE(app.waitForFinished(30000));
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 1);
        EXPECT_TRUE(app.readAllStandardError().contains("no-such-option"));
    }
}
