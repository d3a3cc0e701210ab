#include "platform/linux/LsofOpenFilesReader.h"
#include "platform/linux/ProcOpenFilesReader.h"
#include "platform/linux/ProcProcessInventory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A listening socket on 127.0.0.1 and one connection to it, both held by this process.
struct LoopbackPair {
    int listener = -1;
    int client = -1;
    uint16_t port = 0;
    LoopbackPair()
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0) return;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~LoopbackPair()
    {
        ::close(client);
        ::close(listener);
    }
};

struct NoFiles final : OpenFilesReader {
    QString openFilesFields(int32_t) override { return QStringLiteral("fallback-files"); }
    QString endpointFields(int32_t) override { return QStringLiteral("fallback-endpoints"); }
};

}  // namespace

TEST(ProcOpenFilesReader, ParsesSocketTableRows)
{
    struct Case {
        const char* row;
        bool ok;
        const char* local;
        const char* remote;
        uint64_t inode;
    } cases[] = {
        {"   0: 0100007F:A0F1 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1000        0 123456 1 0", true,
         "127.0.0.1:41201", "127.0.0.1:8080", 123456},
        {"   1: 00000000:0016 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 999 1", true,
         "0.0.0.0:22", "", 999},
        {"   2: 00000000000000000000000001000000:D3B2 00000000000000000000000001000000:1F90 01 0:0 0:0 0 1000 0 77 1",
         true, "[::1]:54194", "[::1]:8080", 77},
        {"   3: 0000000000000000FFFF00000100007F:0050 0000000000000000FFFF00000200A8C0:C350 01 0:0 0:0 0 0 0 5 1", true,
         "[::ffff:127.0.0.1]:80", "[::ffff:192.168.0.2]:50000", 5},
        {"   4: 0100007F:A0F1 0100007F", false, "", "", 0},
        {"  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode", false, "",
         "", 0},
        {"   5: ZZZZZZZZ:0001 0100007F:1F90 01 0:0 0:0 0 0 0 1 1", false, "", "", 0},
    };
    for (const Case& c : cases) {
        ProcOpenFilesReader::SocketRow row;
        EXPECT_EQ(ProcOpenFilesReader::parseSocketRow(QByteArray(c.row), row), c.ok) << c.row;
        if (!c.ok) continue;
        EXPECT_EQ(row.local, QString::fromLatin1(c.local)) << c.row;
        EXPECT_EQ(row.remote, QString::fromLatin1(c.remote)) << c.row;
        EXPECT_EQ(row.inode, c.inode) << c.row;
    }
}

TEST(ProcOpenFilesReader, ListsThisProcesssFilesAndConnections)
{
    QTemporaryDir dir;
    const QString name = dir.path() + QStringLiteral("/with space\nand break.txt");
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    LoopbackPair pair;
    ASSERT_GT(pair.port, 0);

    ProcOpenFilesReader reader;
    const QString files = reader.openFilesFields(int32_t(::getpid()));
    EXPECT_TRUE(files.startsWith(QStringLiteral("p%1\n").arg(::getpid())));
    EXPECT_TRUE(files.contains(QStringLiteral("\nfcwd\nn") + QDir::currentPath() + QLatin1Char('\n')));
    // The line break inside the name is carried escaped, so the name stays on one line.
    EXPECT_TRUE(files.contains(QStringLiteral("\nn") + dir.path() + QStringLiteral("/with space\\nand break.txt\n")))
        << files.toStdString();
    EXPECT_TRUE(files.contains(QStringLiteral("\nfmem\nn/")));

    const QString endpoints = reader.endpointFields(int32_t(::getpid()));
    EXPECT_TRUE(endpoints.contains(QStringLiteral("->127.0.0.1:%1\n").arg(pair.port))) << endpoints.toStdString();
    EXPECT_TRUE(endpoints.contains(QStringLiteral("\nn127.0.0.1:%1\n").arg(pair.port)));  // the listener
    EXPECT_TRUE(reader.endpointFields(0).isEmpty());
    EXPECT_EQ(reader.openFilesFields(999999999), QStringLiteral("p999999999\n"));
}

TEST(LsofOpenFilesReader, ReadsTheToolWhileItRunsAndEndsItAtTheDeadline)
{
    QTemporaryDir dir;
    // A tool that writes a listing and then hangs.
    const QString tool = dir.path() + QStringLiteral("/lsof");
    QFile script(tool);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$@\" >&2\nprintf 'p1\\nf3\\nn/data/a\\n'\nexec sleep 30\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    NoFiles fallback;
    LsofOpenFilesReader reader(tool, 400ms, fallback);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(reader.openFilesFields(1), QStringLiteral("p1\nf3\nn/data/a\n"));
    EXPECT_LT(timer.elapsed(), 3000);

    // Without the tool the fallback answers.
    LsofOpenFilesReader missing(dir.path() + QStringLiteral("/no-such-tool"), 400ms, fallback);
    EXPECT_EQ(missing.openFilesFields(1), QStringLiteral("fallback-files"));
    EXPECT_EQ(missing.endpointFields(1), QStringLiteral("fallback-endpoints"));
}

TEST(LsofOpenFilesReader, TheRealToolSeesThisProcesssFilesAndConnections)
{
    const QString program = LsofOpenFilesReader::findProgram();
    ASSERT_FALSE(program.isEmpty()) << "lsof is needed: scripts/install-deps";
    QTemporaryDir dir;
    QFile file(dir.path() + QStringLiteral("/held open.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    LoopbackPair pair;
    NoFiles fallback;
    LsofOpenFilesReader reader(program, 5s, fallback);
    const QString files = reader.openFilesFields(int32_t(::getpid()));
    EXPECT_TRUE(files.contains(QStringLiteral("\nn") + dir.path() + QStringLiteral("/held open.txt\n")));
    EXPECT_TRUE(files.contains(QStringLiteral("\nftxt\n")));
    const QString endpoints = reader.endpointFields(int32_t(::getpid()));
    EXPECT_TRUE(endpoints.contains(QStringLiteral("->")));
    EXPECT_TRUE(endpoints.contains(QStringLiteral(":%1\n").arg(pair.port))) << endpoints.toStdString();
}

TEST(ProcProcessInventory, NamesDatesAndArgumentsFromProc)
{
    ProcProcessInventory inventory;
    const auto list = inventory.listProcesses();
    ASSERT_TRUE(list);
    const auto self = std::find_if(list->cbegin(), list->cend(), [](const ProcessBrief& p) { return p.pid == ::getpid(); });
    ASSERT_NE(self, list->cend());
    // Started within the last hour, by the wall clock.
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    EXPECT_LE(self->startedAtSecs, now + 1);
    EXPECT_GT(self->startedAtSecs, now - 3600);
    const auto args = inventory.arguments(int32_t(::getpid()));
    ASSERT_TRUE(args);
    EXPECT_EQ(QFileInfo(args->first()).fileName(), QStringLiteral("test_platform"));
    // Kernel threads are left out; a missing process has no arguments.
    for (const ProcessBrief& p : *list) EXPECT_NE(p.pid, 2);
    EXPECT_FALSE(inventory.arguments(999999999));

    EXPECT_EQ(ProcProcessInventory::splitCommandLine(QByteArray("a\0\0b c\0caf\xc3\xa9\0\xff\0", 16)),
              (QStringList{"a", "b c", "caf\u00e9", "\ufffd"}));
}
