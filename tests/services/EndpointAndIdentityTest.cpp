#include "services/MachineIdentity.h"
#include "services/ServiceEndpoint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

TEST(ServiceEndpoint, HttpsOrPlainHttpToThisComputerOnly)
{
    const struct {
        const char* url;
        bool allowed;
    } cases[] = {
        {"https://vrax.example.com/api", true},   {"https://10.0.0.5:8443/x", true},
        {"http://127.0.0.1:8080/x", true},        {"http://127.8.9.1/x", true},
        {"http://[::1]:9000/x", true},            {"http://localhost:3000/x", true},
        {"http://LOCALHOST/x", true},             {"http://vrax.example.com/api", false},
        {"http://192.168.1.10/x", false},         {"http://127.0.0.1.evil.example/x", false},
        {"http://localhost.evil.example/x", false}, {"ftp://127.0.0.1/x", false},
        {"file:///etc/passwd", false},            {"ws://127.0.0.1/x", false},
    };
    for (const auto& c : cases) {
        const QUrl url(QString::fromLatin1(c.url));
        EXPECT_EQ(ServiceEndpoint::refusal(url).isEmpty(), c.allowed) << c.url;
    }
    EXPECT_FALSE(ServiceEndpoint::parse(QStringLiteral("not a url")));
    EXPECT_FALSE(ServiceEndpoint::parse(QStringLiteral("/relative/path")));
    EXPECT_EQ(ServiceEndpoint::parse(QStringLiteral("  https://a.example/x \n"))->toString(),
              QStringLiteral("https://a.example/x"));
}

TEST(ServiceEndpoint, RemoteBaseDropsOnlyATrailingMcpSegment)
{
    const struct {
        const char* setting;
        const char* base;
    } cases[] = {
        {"https://vrax.example.com/mcp", "https://vrax.example.com"},
        {"https://vrax.example.com/mcp/", "https://vrax.example.com"},
        {"https://vrax.example.com///", "https://vrax.example.com"},
        {"  https://vrax.example.com/mcp//\n", "https://vrax.example.com"},
        {"https://vrax.example.com", "https://vrax.example.com"},
        {"https://h.example/team/mcp", "https://h.example/team"},
        // Letters of the host, or a segment that merely begins with them, stay.
        {"https://mcp", "https://mcp"},
        {"https://mcp.example.com", "https://mcp.example.com"},
        {"https://h.example/mcpserver", "https://h.example/mcpserver"},
        {"https://h.example/mcp/v2", "https://h.example/mcp/v2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ServiceEndpoint::remoteBase(QString::fromLatin1(c.setting)), QString::fromLatin1(c.base)) << c.setting;
    }
}

TEST(MachineIdentity, AppSpecificIdNeverTheRawOne)
{
    const QByteArray raw = "4f1b2c3d4e5f60718293a4b5c6d7e8f9";
    const auto id = MachineIdentity::derive(raw + "\n");
    ASSERT_TRUE(id);
    static const QRegularExpression uuid(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"));
    EXPECT_TRUE(uuid.match(*id).hasMatch()) << id->toStdString();
    QString hexOnly = *id;
    hexOnly.remove(QLatin1Char('-'));
    EXPECT_NE(hexOnly.toLower(), QString::fromLatin1(raw));
    EXPECT_FALSE(hexOnly.toLower().contains(QString::fromLatin1(raw.left(12))));
    // Stable for one machine, different for another.
    EXPECT_EQ(MachineIdentity::derive(raw), id);
    EXPECT_NE(MachineIdentity::derive("4f1b2c3d4e5f60718293a4b5c6d7e8fa"), id);

    for (const QByteArray& bad : {QByteArray(), QByteArray("uninitialized"), QByteArray(32, '0'),
                                 QByteArray("4f1b2c3d4e5f60718293a4b5c6d7e8f"), QByteArray("zz1b2c3d4e5f60718293a4b5c6d7e8f9")}) {
        EXPECT_FALSE(MachineIdentity::derive(bad)) << bad.constData();
    }
}

TEST(MachineIdentity, ReadsTheFirstUsableSourceOrKeepsOneRandomIdPerProcess)
{
    QTemporaryDir dir;
    const QString empty = dir.path() + QStringLiteral("/empty");
    const QString good = dir.path() + QStringLiteral("/machine-id");
    QFile(empty).open(QIODevice::WriteOnly);
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789abcdef0123456789abcdef\n");
    file.close();

    const MachineIdentity found({dir.path() + QStringLiteral("/missing"), empty, good});
    EXPECT_EQ(found.derived(), MachineIdentity::derive("0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(found.id(), *found.derived());

    const MachineIdentity none({dir.path() + QStringLiteral("/missing"), empty});
    EXPECT_FALSE(none.derived());
    const QString first = none.id();
    EXPECT_EQ(first.size(), 36);
    EXPECT_EQ(none.id(), first);
    EXPECT_NE(MachineIdentity({empty}).id(), first);
}
