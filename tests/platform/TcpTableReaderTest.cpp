#include "platform/linux/ProcTcpTableReader.h"

#include "support/FixtureTree.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <memory>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

TEST(TcpTableReader, countsFromTheKernelCounterOrTheRowsOfBothTables)
{
    const std::pair<const char*, int64_t> cases[] = {
        {"workstation", 5},  // three IPv4 and two IPv6 rows in state 01; listen, time-wait and others not
        {"truncated", 1},    // garbage, a row without its state and a row cut after it do not count
        {"empty", 0},          // headers only: read, and nothing established
        {"no-such-root", -1},  // no table to read at all
        {"counter", 7},          // the kernel's own count wins over the tables (which say 5)
        {"counter-damaged", 5},  // a counter line cut short: the tables answer
    };
    for (const auto& [name, count] : cases) {
        ProcTcpTableReader reader(fixturePath(QStringLiteral("proc/net/") + name), QStringLiteral("/nonexistent/ss"));
        EXPECT_EQ(reader.countEstablishedTCP(), count) << name;
    }
}

namespace {

// A file descriptor closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

TEST(TcpTableReader, countRisesWhileTheTestHoldsRealConnections)
{
    ProcTcpTableReader reader;
    Fd server(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_GE(server.fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(server.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server.fd, 16), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(server.fd, reinterpret_cast<sockaddr*>(&address), &length), 0);

    // Several connections, so that other programs' churn on this machine cannot hide them.
    constexpr int kConnections = 8;
    const int64_t before = reader.countEstablishedTCP();
    std::vector<Fd> held;
    for (int i = 0; i < kConnections; ++i) {
        Fd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(::connect(client.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        Fd accepted(::accept4(server.fd, nullptr, nullptr, SOCK_CLOEXEC));
        ASSERT_GE(accepted.fd, 0);
        held.push_back(std::move(client));
        held.push_back(std::move(accepted));
    }
    EXPECT_GE(reader.countEstablishedTCP(), before + kConnections);

    // The system tool sees them too.
    ProcTcpTableReader tool(QStringLiteral("/proc"), QStringLiteral("ss"));
    EXPECT_GE(tool.readEstablishedConnections(), kConnections);
}

TEST(TcpTableReader, toolThatHangsIsKilledAtItsDeadline)
{
    QTemporaryDir bin;
    const QString stub = bin.path() + "/ss";
    const QString pidFile = bin.path() + "/pid";
    QFile script(stub);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho $$ > '%1'\necho 'x x x x'\nexec sleep 60\n").arg(pidFile).toUtf8());
    script.close();
    QFile::setPermissions(stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    ProcTcpTableReader reader(fixturePath("proc/net/empty"), stub, 400ms);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(reader.readEstablishedConnections(), 0);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_GE(timer.elapsed(), 350);

    QFile pid(pidFile);
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    const pid_t child = pid.readAll().trimmed().toInt();
    ASSERT_GT(child, 1);
    EXPECT_NE(::kill(child, 0), 0) << "the tool still runs after its deadline";
}

TEST(TcpTableReader, toolThatCannotRunOrFailsCountsNothing)
{
    QTemporaryDir bin;
    const QString failing = bin.path() + "/ss";
    QFile script(failing);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho '0 0 a b'\necho oops >&2\nexit 1\n");
    script.close();
    QFile::setPermissions(failing, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    EXPECT_EQ(ProcTcpTableReader(fixturePath("proc/net/empty"), failing).readEstablishedConnections(), 0);
    EXPECT_EQ(ProcTcpTableReader(fixturePath("proc/net/empty"), bin.path() + "/missing").readEstablishedConnections(), 0);
}
