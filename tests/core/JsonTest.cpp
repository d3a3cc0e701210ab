#include "core/Dates.h"
#include "core/Json.h"
#include "core/Uuid.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTemporaryDir>

#include <unistd.h>

TEST(Json, DecoderIsStrict)
{
    const QJsonObject o = QJsonDocument::fromJson(R"({"s":"x","n":1.5,"i":3,"b":true,"nul":null,
        "id":"8B1A8E63-6C2B-4A43-9F0B-2A7D8E9C1D10","when":0})").object();
    {
        Json::Decoder d(o);
        EXPECT_EQ(d.string("s"), QStringLiteral("x"));
        EXPECT_EQ(d.number("n"), 1.5);
        EXPECT_EQ(d.integer("i"), 3);
        EXPECT_TRUE(d.boolean("b"));
        EXPECT_EQ(Uuids::text(d.uuid("id")), QStringLiteral("8B1A8E63-6C2B-4A43-9F0B-2A7D8E9C1D10"));
        EXPECT_EQ(d.date("when"), Dates::referenceDate());
        EXPECT_FALSE(d.optString("nul").has_value());
        EXPECT_FALSE(d.optString("missing").has_value());
        EXPECT_TRUE(d.ok());
    }
    const char* failing[] = {"missing", "nul"};
    for (const char* key : failing) {
        Json::Decoder d(o);
        d.string(QString::fromUtf8(key));
        EXPECT_FALSE(d.ok()) << key;
    }
    Json::Decoder wrong(o);
    wrong.integer("n");
    EXPECT_FALSE(wrong.ok());
    Json::Decoder wrongOpt(o);
    wrongOpt.optBoolean("s");
    EXPECT_FALSE(wrongOpt.ok());
}

TEST(Json, DatesAreReferenceSeconds)
{
    const QDateTime t = QDateTime::fromString(QStringLiteral("2001-01-02T00:00:01.500Z"), Qt::ISODateWithMs);
    EXPECT_DOUBLE_EQ(Dates::toReferenceSeconds(t), 86401.5);
    EXPECT_EQ(Dates::fromReferenceSeconds(86401.5), t);
    EXPECT_FALSE(Dates::fromReferenceSeconds(std::nan("")).isValid());
}

TEST(Json, WritesReplaceWholeFiles)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/AI/state.json");
    ASSERT_TRUE(Json::writeViaTmpSibling(path, QJsonDocument(QJsonArray{1, 2})).ok());
    ASSERT_TRUE(Json::writeViaTmpSibling(path, QJsonDocument(QJsonArray{3})).ok());
    EXPECT_EQ(Json::readFile(path)->array(), QJsonArray{3});
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".tmp")));

    // A leftover temporary file from a crash neither hides nor damages the real one.
    QFile leftover(path + QStringLiteral(".tmp"));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("[9,9,");
    leftover.close();
    EXPECT_EQ(Json::readFile(path)->array(), QJsonArray{3});
    ASSERT_TRUE(Json::writeViaTmpSibling(path, QJsonDocument(QJsonArray{4})).ok());
    EXPECT_EQ(Json::readFile(path)->array(), QJsonArray{4});

    const QString atomic = dir.path() + QStringLiteral("/deep/er/history.json");
    ASSERT_TRUE(Json::writeFileAtomically(atomic, QJsonDocument(QJsonObject{{"a", 1}})).ok());
    EXPECT_EQ(Json::readFile(atomic)->object().value("a").toInt(), 1);
    EXPECT_FALSE(Json::readFile(dir.path() + QStringLiteral("/none.json")).has_value());
    EXPECT_FALSE(Json::writeFileAtomically(QStringLiteral("/proc/forbidden/x.json"), QByteArray("1")).ok());
}

TEST(Json, StartUpRemovesOnlyWhatAStopMidSaveLeft)
{
    QTemporaryDir dir;
    auto make = [&](const QString& name) {
        QFile f(dir.path() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{\"apiKey\":\"sk-secret\"");
    };
    // A save writes to an unnamed file where the file system allows it, else to a named
    // temporary made from this pattern: that is what a stop can leave.
    QString saving;
    {
        QTemporaryFile save(dir.path() + QStringLiteral("/settings.json.XXXXXX"));
        save.setAutoRemove(false);
        ASSERT_TRUE(save.open());
        saving = QFileInfo(save.fileName()).fileName();
    }
    ASSERT_TRUE(saving.startsWith(QStringLiteral("settings.json.")));
    make(saving);
    for (const char* name : {"epitopes.json.tmp", "regrow_patterns.json.tmp", "settings.json", "settings.json.bad",
                             "notes.tmp", "readme.txt", "history.jsonx.abcdef"}) {
        make(QLatin1String(name));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.json.tmp")));
    ASSERT_EQ(symlink("settings.json", QFile::encodeName(dir.path() + QStringLiteral("/link.json.abc123")).constData()), 0);

    EXPECT_EQ(Json::removeTemporarySiblings(dir.path()), 3);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"folder.json.tmp", "history.jsonx.abcdef", "link.json.abc123", "notes.tmp", "readme.txt",
                           "settings.json", "settings.json.bad"}));
    EXPECT_EQ(Json::removeTemporarySiblings(dir.path() + QStringLiteral("/missing")), 0);
}
