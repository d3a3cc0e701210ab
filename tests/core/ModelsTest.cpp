#include "core/Models.h"

#include <gtest/gtest.h>

#include <QSet>

TEST(Models, HealthScoreStatusBands)
{
    using B = HealthScore::StatusBand;
    const std::pair<int, B> cases[] = {{100, B::accent}, {80, B::accent}, {79, B::warning}, {50, B::warning},
                                       {49, B::danger},  {0, B::danger},  {101, B::danger}, {-1, B::danger}};
    for (auto [score, band] : cases) {
        HealthScore h;
        h.score = score;
        EXPECT_EQ(h.statusBand(), band) << score;
    }
}

TEST(Models, IdentityRules)
{
    ProcessInfoItem a;
    a.pid = 42;
    a.name = QStringLiteral("one");
    a.cpuUsage = 5;
    ProcessInfoItem b;
    b.pid = 42;
    b.name = QStringLiteral("two");
    b.cpuUsage = 90;
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    EXPECT_EQ(QSet<ProcessInfoItem>({a, b}).size(), 1);

    HealthScore h1;
    h1.score = 90;
    HealthScore h2 = h1;
    EXPECT_EQ(h1, h2);
    h2.id = QUuid::createUuid();
    EXPECT_NE(h1, h2);
}

TEST(Models, RawValuesMatchExactly)
{
    EXPECT_EQ(PerformanceSnapshot::thermalLevelFromRaw(QStringLiteral("Serious")), ThermalLevel::serious);
    EXPECT_FALSE(PerformanceSnapshot::thermalLevelFromRaw(QStringLiteral("serious")).has_value());
    EXPECT_EQ(ActionRecord::actionTypeFromRaw(QStringLiteral("Memory Freed")), ActionType::memoryFreed);
    EXPECT_FALSE(ActionRecord::actionTypeFromRaw(QStringLiteral("memory freed")).has_value());
    EXPECT_EQ(CleanupTarget::categoryFromRaw(QStringLiteral("Python/pip Cache")), CleanupCategory::pipCache);
    EXPECT_FALSE(CleanupTarget::categoryFromRaw(QStringLiteral("trash")).has_value());

    for (auto level : PerformanceSnapshot::allThermalLevels)
        EXPECT_EQ(PerformanceSnapshot::thermalLevelFromRaw(PerformanceSnapshot::rawValue(level)), level);
    for (auto type : ActionRecord::allActionTypes)
        EXPECT_EQ(ActionRecord::actionTypeFromRaw(ActionRecord::rawValue(type)), type);

    // Chrome and Safari share "globe"; every other category has an icon of its own.
    QSet<QString> icons;
    for (auto c : CleanupTarget::allCategories) {
        EXPECT_EQ(CleanupTarget::categoryFromRaw(CleanupTarget::rawValue(c)), c);
        icons.insert(CleanupTarget::icon(c));
    }
    EXPECT_EQ(icons.size(), 10);
    EXPECT_EQ(CleanupTarget::icon(CleanupCategory::chromeCache), QStringLiteral("globe"));
    EXPECT_EQ(CleanupTarget::icon(CleanupCategory::safariCache), QStringLiteral("globe"));
}
