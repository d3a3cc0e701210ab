// One running instance per user and settings store: a later start, in process or the real
// binary, hands its request over and leaves.
#include "app/SingleInstance.h"
#include "core/Paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Requests {
    QStringList received;
    void listen(SingleInstance& instance)
    {
        QObject::connect(&instance, &SingleInstance::requestReceived, [this](const QString& r) { received << r; });
    }
    bool waitFor(qsizetype n) { return QTest::qWaitFor([&] { return received.size() >= n; }, 10000); }
};

}  // namespace

TEST(SingleInstanceTest, TheFirstListensAndLaterOnesHandOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.sock"));
    SingleInstance first(path);
    Requests requests;
    requests.listen(first);
    ASSERT_EQ(first.claim(QString()), SingleInstance::Role::primary);
    EXPECT_TRUE(first.isListening());

    // The later start blocks while it hands over, so it runs on its own thread here.
    std::atomic<int> role{-1};
    std::thread later([&] {
        SingleInstance second(path);
        role = int(second.claim(QStringLiteral("veltranmoor://dashboard")));
    });
    ASSERT_TRUE(requests.waitFor(1));
    later.join();
    EXPECT_EQ(role, int(SingleInstance::Role::forwarded));
    EXPECT_EQ(requests.received, QStringList{QStringLiteral("veltranmoor://dashboard")});
}

TEST(SingleInstanceTest, ADeadInstancesSocketIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.sock"));
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    SingleInstance instance(path);
    EXPECT_EQ(instance.claim(QString()), SingleInstance::Role::primary);
    EXPECT_TRUE(instance.isListening());
}

TEST(SingleInstanceTest, OverlongOrUnfinishedRequestsAreDropped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.sock"));
    SingleInstance instance(path);
    Requests requests;
    requests.listen(instance);
    ASSERT_EQ(instance.claim(QString()), SingleInstance::Role::primary);

    QLocalSocket flood;
    flood.connectToServer(path);
    ASSERT_TRUE(flood.waitForConnected(3000));
    flood.write(QByteArray(SingleInstance::maxRequestBytes + 10, 'a'));
    flood.flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return flood.state() == QLocalSocket::UnconnectedState; }, 5000))
        << "the server hangs up";

    QLocalSocket fine;
    fine.connectToServer(path);
    ASSERT_TRUE(fine.waitForConnected(3000));
    fine.write("veltranmoor://dashboard\n");
    ASSERT_TRUE(requests.waitFor(1));
    EXPECT_EQ(requests.received, QStringList{QStringLiteral("veltranmoor://dashboard")});
}

TEST(SingleInstanceTest, ClientsThatSendNoLineInTimeAreDropped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.sock"));
    SingleInstance instance(path);
    instance.setLineTimeout(std::chrono::milliseconds(1500));
    Requests requests;
    requests.listen(instance);
    ASSERT_EQ(instance.claim(QString()), SingleInstance::Role::primary);
    auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const auto before = openDescriptors();

    // Silent clients, and one that starts a line and never ends it.
    std::vector<std::unique_ptr<QLocalSocket>> silent;
    int connected = 0;
    for (int i = 0; i < 200; ++i) {
        silent.push_back(std::make_unique<QLocalSocket>());
        QObject::connect(silent.back().get(), &QLocalSocket::connected, [&connected] { ++connected; });
        silent.back()->connectToServer(path);
        QCoreApplication::processEvents();  // the server takes them as they come
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected == 200; }, 5000)) << connected;
    silent.back()->write("veltranmoor://dash");
    silent.back()->flush();
    // One that takes its time but ends its line within the limit is served.
    QLocalSocket slow;
    slow.connectToServer(path);
    ASSERT_TRUE(slow.waitForConnected(3000));
    QTest::qWait(200);
    slow.write("veltranmoor://dashboard\n");
    ASSERT_TRUE(requests.waitFor(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return slow.bytesAvailable() > 0 || slow.waitForReadyRead(10); }, 3000));
    EXPECT_EQ(slow.readAll(), "ok\n");

    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(silent.begin(), silent.end(),
                               [](const auto& c) { return c->state() == QLocalSocket::UnconnectedState; });
        },
        10000));
    EXPECT_EQ(requests.received, QStringList{QStringLiteral("veltranmoor://dashboard")});
    silent.clear();
    slow.abort();
    QTest::qWait(50);
    EXPECT_LE(openDescriptors(), before + 2) << "the server keeps no descriptor of a dropped client";
}

TEST(SingleInstanceTest, ASecondStartOfTheApplicationHandsOverAndExitsZero)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    // This test process plays the running instance, on the path the binary computes for the
    // same user and settings store.
    SingleInstance running;
    Requests requests;
    requests.listen(running);
    ASSERT_EQ(running.claim(QString()), SingleInstance::Role::primary);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QStringList& args : {QStringList{QStringLiteral("veltranmoor://dashboard")}, QStringList{}}) {
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(VELTRANMOOR_BINARY), args);
        ASSERT_TRUE(second.waitForStarted(10000));
        // The event loop must run meanwhile: it is what answers the second start.
        ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 30000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        EXPECT_FALSE(second.readAllStandardError().contains("AppDelegate hook fired")) << "it did not start up";
    }
    ASSERT_TRUE(requests.waitFor(2));
    EXPECT_EQ(requests.received, (QStringList{QStringLiteral("veltranmoor://dashboard"), QString()}));
}

TEST(SingleInstanceTest, WithoutARuntimeFolderTheSocketLivesInAPrivateFolderOfOurOwn)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir shared;
    QFile::setPermissions(shared.path(), QFileDevice::Permissions(0x7777));  // like /tmp, without the sticky bit
    for (const QByteArray& runtime : {QByteArray(), QFile::encodeName(shared.path()), QByteArray("/nonexistent")}) {
        SCOPED_TRACE(runtime.toStdString());
        if (runtime.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", runtime);
        }
        const QString path = SingleInstance::defaultSocketPath();
        EXPECT_EQ(QFileInfo(path).absolutePath(), Paths::cacheDir() + QStringLiteral("/run"));
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        EXPECT_EQ(st.st_uid, ::getuid());
        SingleInstance instance(path);
        EXPECT_EQ(instance.claim(QString()), SingleInstance::Role::primary) << instance.error().toStdString();
    }
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(SingleInstanceTest, ANameHeldByAnotherUserIsAnErrorThatSaysSo)
{
    ASSERT_EQ(::getuid(), 0u) << "the tests run as root, so they can give a file away";
    constexpr uid_t other = 65534;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.sock"));
    // Another user listens at our name first (root can still connect, which is the danger).
    SingleInstance squatter(path);
    Requests squatted;
    squatted.listen(squatter);
    ASSERT_EQ(squatter.claim(QString()), SingleInstance::Role::primary);
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), other, other), 0);

    SingleInstance ours(path);
    EXPECT_EQ(ours.claim(QStringLiteral("veltranmoor://dashboard")), SingleInstance::Role::otherUser);
    EXPECT_TRUE(ours.error().startsWith(QStringLiteral("Cannot use the single-instance socket: ") + path +
                                        QStringLiteral(" belongs to another user, ")))
        << ours.error().toStdString();
    EXPECT_TRUE(ours.error().contains(QStringLiteral("uid 65534"))) << ours.error().toStdString();
    EXPECT_FALSE(ours.isListening());
    QTest::qWait(200);
    EXPECT_TRUE(squatted.received.isEmpty()) << "the request went to the other user";
    EXPECT_TRUE(QFileInfo::exists(path)) << "their socket is not ours to remove";

    // The same for a folder that is someone else's.
    QTemporaryDir theirs;
    ASSERT_EQ(::chown(QFile::encodeName(theirs.path()).constData(), other, other), 0);
    SingleInstance inTheirFolder(theirs.filePath(QStringLiteral("s.sock")));
    EXPECT_EQ(inTheirFolder.claim(QString()), SingleInstance::Role::otherUser);
    EXPECT_TRUE(inTheirFolder.error().contains(theirs.path() + QStringLiteral(" belongs to another user")))
        << inTheirFolder.error().toStdString();

    // The application says so and exits with a failure, not silently.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    SingleInstance running;
    ASSERT_EQ(running.claim(QString()), SingleInstance::Role::primary);
    ASSERT_EQ(::chown(QFile::encodeName(running.socketPath()).constData(), other, other), 0);
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(VELTRANMOOR_BINARY), {});
    ASSERT_TRUE(app.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(app.exitCode(), 1);
    EXPECT_TRUE(app.readAllStandardError().contains("belongs to another user"));
}
