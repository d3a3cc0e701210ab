// The small rules behind the settings pages, case by case.
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "guards/BoundaryPaths.h"
#include "support/ManualClock.h"
#include "ui/settings/SettingsPages.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

TEST(SettingsRules, AutoPilotHourReadsOnATwelveHourClock)
{
    const QList<std::pair<qint64, const char*>> cases{{0, "12:00 AM"},  {3, "3:00 AM"},   {12, "12:00 PM"},
                                                      {13, "1:00 PM"},  {23, "11:00 PM"}, {-4, "12:00 AM"},
                                                      {40, "11:00 PM"}};
    for (const auto& [hour, text] : cases) EXPECT_EQ(autoPilotHourLabel(hour), QString::fromLatin1(text)) << hour;
}

TEST(SettingsRules, QuietHoursKeepTheirMinutesAndClampTheClock)
{
    EXPECT_EQ(QuietHours::hourOf(1410), 23);
    EXPECT_EQ(QuietHours::withHour(1410, 22), 1350);
    EXPECT_EQ(QuietHours::withHour(-30, 2), 90);  // the remainder keeps the stored sign
    EXPECT_EQ(QuietHours::clockText(420), QStringLiteral("07:00"));
    EXPECT_EQ(QuietHours::clockText(-5), QStringLiteral("00:00"));
    EXPECT_EQ(QuietHours::clockText(5000), QStringLiteral("23:59"));
}

TEST(SettingsRules, BoundaryPathsNormaliseSortAndNeverReadEmpty)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.json")));
    ManualClock clock;
    AppSettings settings(defaults, clock);
    const QString home = QStringLiteral("/home/ada");
    EXPECT_EQ(BoundaryPaths::normalize(QStringLiteral("  ~/x//\n"), home), QStringLiteral("/home/ada/x"));
    EXPECT_EQ(BoundaryPaths::normalize(QStringLiteral("/"), home), QStringLiteral("/"));
    // The page stores what the watch matches: another user's home and composed accents too.
    EXPECT_EQ(BoundaryPaths::normalize(QStringLiteral("~root/k"), home), QStringLiteral("/root/k"));
    BoundaryPaths::save(settings, {QStringLiteral("/caf\u00e9"), QStringLiteral("/cafe\u0301")}, home);
    EXPECT_EQ(BoundaryPaths::load(settings, home).size(), 1);
    for (const QByteArray& data : {QByteArray(), QByteArray("[]"), QByteArray("{\"a\":1}"), QByteArray("[1]")}) {
        settings.setAiShieldBoundaryPathsData(data);
        EXPECT_EQ(BoundaryPaths::load(settings, home), BoundaryPaths::defaults(home)) << data.constData();
    }
    BoundaryPaths::add(settings, QStringLiteral("/b"), home);
    BoundaryPaths::add(settings, QStringLiteral("/b/"), home);
    EXPECT_EQ(BoundaryPaths::load(settings, home),
              (QStringList{"/b", "/home/ada/.aws", "/home/ada/.ssh", "/home/ada/Documents/Claude_Memory/Private"}));
    BoundaryPaths::save(settings, {QStringLiteral(" "), QStringLiteral("/z"), QStringLiteral("/a"), QStringLiteral("/z/")},
                        home);
    EXPECT_EQ(settings.aiShieldBoundaryPathsData(), QByteArray("[\"/a\",\"/z\"]"));
}

TEST(SettingsRules, ProtectedNamesDecodeStrictlyAndRemoveEveryCopy)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.json")));
    ManualClock clock;
    AppSettings settings(defaults, clock);
    EXPECT_TRUE(ProtectedProcesses::decode("[\"a\",2]").isEmpty());
    EXPECT_TRUE(ProtectedProcesses::decode("{}").isEmpty());
    settings.setProtectedProcessesData("[\"vim\",\"zsh\",\"vim\"]");
    ProtectedProcesses::remove(settings, QStringLiteral("vim"));
    EXPECT_EQ(settings.protectedProcessesData(), QByteArray("[\"zsh\"]"));
    ProtectedProcesses::remove(settings, QStringLiteral("none"));
    EXPECT_EQ(settings.protectedProcessesData(), QByteArray("[\"zsh\"]"));
    // A line break is part of the name, not a blank to trim.
    EXPECT_TRUE(ProtectedProcesses::add(settings, QStringLiteral(" \tgo\n")));
    EXPECT_EQ(ProtectedProcesses::decode(settings.protectedProcessesData()).last(), QStringLiteral("go\n"));
    EXPECT_FALSE(ProtectedProcesses::add(settings, QStringLiteral(" \t ")));
}
