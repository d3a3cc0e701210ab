#include "platform/linux/SysfsWakeupSourceReader.h"

#include "support/FixtureTree.h"

#include <gtest/gtest.h>

TEST(SysfsWakeupSourceReader, readsNamesAndCountsAndLeavesOutDamagedEntries)
{
    const QList<WakeupSource> sources = SysfsWakeupSourceReader(fixturePath("sys/wakeup/laptop")).wakeupSources();
    // wakeup4 has no count, wakeup5 a count that is not a number, wakeup6 no name; wakeup10 sorts last.
    const QList<WakeupSource> expected{
        {QStringLiteral("PNP0C0D:00"), 14}, {QStringLiteral("PNP0C0C:00"), 2},  {QStringLiteral("alarmtimer.0.auto"), 0},
        {QStringLiteral("0000:00:14.0"), 9}, {QStringLiteral("ACPI0003:00"), 3},
    };
    EXPECT_EQ(sources, expected);
    EXPECT_TRUE(SysfsWakeupSourceReader(fixturePath("sys/wakeup/no-such-tree")).wakeupSources().isEmpty());
}
