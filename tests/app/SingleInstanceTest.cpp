// One running instance per user and settings store: a later start, in process or the real
// binary, hands its request over and leaves.
#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
