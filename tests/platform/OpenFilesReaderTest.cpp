#include "platform/linux/LsofOpenFilesReader.h"
#include "platform/linux/ProcOpenFilesReader.h"
#include "platform/linux/ProcProcessInventory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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
    QList<int32_t> asked;
    QString openFilesFields(int32_t pid) override
    {
        asked.append(pid);
        return QStringLiteral("fallback-files");
    }
    QString endpointFields(int32_t pid) override
    {
        asked.append(pid);
        return QStringLiteral("fallback-endpoints");
    }
};

void writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

void link(const QString& target, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0) << path.toStdString();
}

QByteArray statusOf(uid_t uid)
{
    return QByteArray("Name:\tclaude\nUmask:\t0022\nState:\tS (sleeping)\nUid:\t") + QByteArray::number(uid) + "\t" +
           QByteArray::number(uid) + "\t" + QByteArray::number(uid) + "\t" + QByteArray::number(uid) + "\nGid:\t0\t0\t0\t0\n";
}

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

// A /proc tree holding a process of user 4242 with a file, a connection and a listener; one
// of user 4343; one of 4242 whose descriptors are closed (undumpable); and a pid that is gone.
TEST(ProcOpenFilesReader, ReadsOnlyTheUsersOwnProcessesAndAsksTheFallbackWhereProcIsClosed)
{
    QTemporaryDir root;
    const QString p = root.path();
    for (const char* pid : {"/100", "/200"}) {
        writeFile(p + pid + "/status", statusOf(pid == QByteArray("/100") ? 4242 : 4343));
        link(QStringLiteral("/home/u"), p + pid + "/cwd");
        link(QStringLiteral("/"), p + pid + "/root");
        link(QStringLiteral("/usr/bin/claude"), p + pid + "/exe");
        link(QStringLiteral("/dev/null"), p + pid + "/fd/0");
        link(QStringLiteral("/home/u/.ssh/id_ed25519"), p + pid + "/fd/7");
        link(QStringLiteral("socket:[555]"), p + pid + "/fd/12");
        link(QStringLiteral("socket:[556]"), p + pid + "/fd/13");
        link(QStringLiteral("pipe:[9]"), p + pid + "/fd/14");
        writeFile(p + pid + "/maps",
                  "55d0-55d1 r-xp 00000000 08:01 11 /usr/bin/claude\n"
                  "55d2-55d3 r--p 00001000 08:01 11 /usr/bin/claude\n"
                  "7f00-7f01 r-xp 00000000 08:01 12 /usr/lib/libc.so.6\n"
                  "7ffd-7ffe rw-p 00000000 00:00 0 [stack]\n");
        writeFile(p + pid + "/net/tcp",
                  "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
                  "   0: 0100007F:A0F1 0100007F:01BB 01 00000000:00000000 00:00000000 00000000  4242        0 555 1 0\n"
                  "   1: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  4242        0 556 1 0\n"
                  "   2: 0100007F:1F91 0100007F:0050 01 00000000:00000000 00:00000000 00000000  4242        0 999 1 0\n");
        writeFile(p + pid + "/net/tcp6", "  sl  local_address\n");
    }
    writeFile(p + "/300/status", statusOf(4242));
    writeFile(p + "/300/fd", "");  // not a folder we may list

    NoFiles fallback;
    ProcOpenFilesReader reader(p, &fallback, 4242);
    EXPECT_EQ(reader.openFilesFields(100), QStringLiteral("p100\nfcwd\nn/home/u\nfrtd\nn/\nftxt\nn/usr/bin/claude\n"
                                                          "fmem\nn/usr/bin/claude\nfmem\nn/usr/lib/libc.so.6\n"
                                                          "f0\nn/dev/null\nf7\nn/home/u/.ssh/id_ed25519\nf12\nnsocket:[555]\n"
                                                          "f13\nnsocket:[556]\nf14\nnpipe:[9]\n"));
    // The connection and the listener, each by its own descriptor; another process's row is not ours.
    EXPECT_EQ(reader.endpointFields(100), QStringLiteral("p100\nf12\nn127.0.0.1:41201->127.0.0.1:443\nf13\nn127.0.0.1:8080\n"));
    EXPECT_TRUE(fallback.asked.isEmpty());

    // Another user's process is not read, and the fallback is not asked about it either.
    EXPECT_EQ(reader.openFilesFields(200), QString());
    EXPECT_EQ(reader.endpointFields(200), QString());
    EXPECT_TRUE(fallback.asked.isEmpty());
    // Root reads everyone's.
    EXPECT_TRUE(ProcOpenFilesReader(p, &fallback, 0).openFilesFields(200).contains(QStringLiteral("id_ed25519")));

    EXPECT_EQ(reader.openFilesFields(300), QStringLiteral("fallback-files"));
    EXPECT_EQ(reader.endpointFields(300), QStringLiteral("fallback-endpoints"));
    EXPECT_EQ(fallback.asked, (QList<int32_t>{300, 300}));
    EXPECT_EQ(ProcOpenFilesReader(p, nullptr, 4242).openFilesFields(300), QStringLiteral("p300\n"));

    EXPECT_EQ(reader.openFilesFields(400), QStringLiteral("p400\n"));
    EXPECT_EQ(fallback.asked.size(), 2);

    EXPECT_EQ(ProcOpenFilesReader::ownerOf("Name:\tx\nUid:\t1000\t1000\t1000\t1000\n"), std::optional<uid_t>(1000));
    EXPECT_EQ(ProcOpenFilesReader::ownerOf("Name:\tx\nUid:\t\n"), std::nullopt);
    EXPECT_EQ(ProcOpenFilesReader::ownerOf("Name:\tx\n"), std::nullopt);
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
