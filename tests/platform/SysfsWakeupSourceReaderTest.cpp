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

TEST(SysfsWakeupSourceReader, namesPciAndUsbDevicesFromTheBusAndTheIdsDatabase)
{
    const QString bus = fixturePath("sys/wakeup/bus");
    // The first database path is missing: the next readable one is used.
    const SysfsWakeupSourceReader reader(fixturePath("sys/wakeup/laptop"), bus,
                                         {fixturePath("sys/wakeup/hwdata/missing.ids"), fixturePath("sys/wakeup/hwdata/pci.ids")});
    struct Case {
        const char* source;
        const char* name;
    };
    const Case cases[] = {
        {"0000:00:14.0", "Cannon Lake PCH USB 3.1 xHCI Host Controller"},
        {"0000:00:1f.6", "Intel Corporation device 15bc"},  // listed under another vendor only
        {"0000:02:00.0", "Flash Maker device 1327"},        // its line is malformed
        {"0000:03:00.0", "PCI device 0000:03:00.0"},        // vendor id unreadable
        {"0000:09:00.0", "PCI device 0000:09:00.0"},        // no such device
        {"1-4", "Logitech USB Receiver"},
        {"3-1", "Keychron K2"},  // the product already starts with the maker
        {"1-5.2", "USB device 0bda:8153"},
        {"2-1", "USB device 2-1"},
        {"usb1", ""},  // a root hub is the controller itself
        {"PNP0C0D:00", ""},
        {"alarmtimer.0.auto", ""},
        {"0000:00:14.0/../x", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reader.deviceName(QString::fromLatin1(c.source)), QString::fromLatin1(c.name)) << c.source;
    }
    // Without a database the ids stand for the name.
    const SysfsWakeupSourceReader bare(fixturePath("sys/wakeup/laptop"), bus, {fixturePath("sys/wakeup/hwdata/missing.ids")});
    EXPECT_EQ(bare.deviceName(QStringLiteral("0000:00:14.0")), QStringLiteral("PCI device 8086:a36d"));
}
