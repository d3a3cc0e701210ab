#include "core/Checked.h"
#include "core/Dates.h"
#include "core/Json.h"
#include "core/Uuid.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cmath>
#include <limits>

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

TEST(Json, StoredDatesOutsideTwoThousandOneToTwentyTwoHundredAreMissing)
{
    const double end2200 = Dates::toReferenceSeconds(QDateTime(QDate(2201, 1, 1), QTime(0, 0), QTimeZone::utc()));
    const struct {
        double seconds;
        bool kept;
    } cases[] = {
        {0, true},
        {820'000'000.5, true},
        {end2200 - 1, true},
        {end2200, false},
        {-0.001, false},
        {9.3e15, false},  // seconds * 1000 no longer fits a 64-bit millisecond count
        {-9.3e15, false},
        {1e300, false},
        {std::numeric_limits<double>::infinity(), false},
        {std::nan(""), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(Dates::fromStoredSeconds(c.seconds).has_value(), c.kept);
        const QJsonObject o{{QStringLiteral("when"), c.seconds}};
        Json::Decoder optional(o);
        EXPECT_EQ(optional.optDate(QStringLiteral("when")).has_value(), c.kept);
        EXPECT_TRUE(optional.ok()) << "an optional date out of range is missing, not damage";
        Json::Decoder required(o);
        (void)required.date(QStringLiteral("when"));
        EXPECT_EQ(required.ok(), c.kept) << "a required date out of range is a missing field";
    }
    // Far too large for a QDateTime: invalid, not an overflow.
    EXPECT_FALSE(Dates::fromReferenceSeconds(9.3e15).isValid());
}

TEST(Checked, ArithmeticThatDoesNotFitGivesNothing)
{
    constexpr int64_t max = std::numeric_limits<int64_t>::max();
    constexpr int64_t min = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(Checked::add<int64_t>(max - 1, 1), max);
    EXPECT_FALSE(Checked::add<int64_t>(max, 1));
    EXPECT_EQ(Checked::sub<int64_t>(min + 1, 1), min);
    EXPECT_FALSE(Checked::sub<int64_t>(min, 1));
    EXPECT_EQ(Checked::mul<int64_t>(213503982334, 86'400), 213503982334 * 86'400);
    EXPECT_FALSE(Checked::mul<int64_t>(213503982334, 86'400'000));
    EXPECT_FALSE(Checked::mul<int64_t>(min, -1));
    EXPECT_EQ(Checked::toInteger<int64_t>(-2.9), -2);
    EXPECT_EQ(Checked::toInteger<int64_t>(-9223372036854775808.0), min);
    EXPECT_FALSE(Checked::toInteger<int64_t>(9223372036854775808.0));
    EXPECT_FALSE(Checked::toInteger<int64_t>(std::nan("")));
    EXPECT_FALSE(Checked::toInteger<uint64_t>(-1.0));
    EXPECT_EQ(Checked::toInteger<uint64_t>(18446744073709549568.0), 18446744073709549568ull);
    EXPECT_FALSE(Checked::toInteger<uint64_t>(18446744073709551616.0));
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
