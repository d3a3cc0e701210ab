#include "platform/linux/SysfsNetStatsReader.h"
#include "platform/linux/SysfsThermalZoneReader.h"
#include "platform/linux/SysfsValue.h"

#include "support/FixtureTree.h"

#include <gtest/gtest.h>

TEST(SysfsValue, parsesOnlyWholeDecimalNumbers)
{
    const std::pair<const char*, std::optional<int64_t>> cases[] = {
        {"45000\n", 45000}, {"-273200\n", -273200}, {" 7 \n", 7}, {"", std::nullopt}, {"\n", std::nullopt},
        {"abc\n", std::nullopt}, {"12.5\n", std::nullopt}, {"45000 52000\n", std::nullopt},
        {"99999999999999999999\n", std::nullopt}, {"-\n", std::nullopt}};
    for (const auto& [text, value] : cases) EXPECT_EQ(SysfsValue::parseInt(text), value) << text;
    EXPECT_EQ(SysfsValue::parseUnsigned("18446744073709551615\n"), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(SysfsValue::parseUnsigned("-5\n"), std::nullopt);
    EXPECT_EQ(SysfsValue::readInt(fixturePath("sys/no/such/file")), std::nullopt);
}

TEST(SysfsNetStatsReader, sumsPhysicalAndBridgeInterfacesOnly)
{
    const InterfaceByteCounters desktop = SysfsNetStatsReader(fixturePath("sys/net/desktop")).readInterfaceCounters();
    // eth0 + wlan0 + br0; lo, the container peer, docker0 and the tunnel never count.
    EXPECT_EQ(desktop.bytesIn, 1843203984ULL + 52318877ULL + 1000ULL);
    EXPECT_EQ(desktop.bytesOut, 208335671ULL + 9120443ULL + 2000ULL);
    EXPECT_EQ(desktop.interfaces, 3);

    // Empty, non-numeric, negative and missing counters leave their interface out.
    const InterfaceByteCounters damaged = SysfsNetStatsReader(fixturePath("sys/net/damaged")).readInterfaceCounters();
    EXPECT_EQ(damaged.bytesIn, 4000U);
    EXPECT_EQ(damaged.bytesOut, 3000U);

    const InterfaceByteCounters none = SysfsNetStatsReader(fixturePath("sys/net/no-such-tree")).readInterfaceCounters();
    EXPECT_EQ(none.bytesIn, 0U);
    EXPECT_EQ(none.bytesOut, 0U);
    EXPECT_EQ(none.interfaces, 0);

    // A bridge over a counted member (br0 over enp3s0) is not counted again; one over
    // container peers only (br-5d1e) or over nothing (virbr0) is. Modem, mobile broadband and
    // USB tethering links count.
    const InterfaceByteCounters bridged = SysfsNetStatsReader(fixturePath("sys/net/bridged")).readInterfaceCounters();
    EXPECT_EQ(bridged.bytesIn, 5100ULL + 10 + 100 + 1000 + 300);
    EXPECT_EQ(bridged.bytesOut, 6100ULL + 20 + 200 + 2000 + 400);
    EXPECT_EQ(bridged.interfaces, 5);

    for (const char* name : {"enp3s0", "wlp2s0", "bridge0", "eth1", "br-5d1e", "ppp0", "wwan0", "usb0"}) {
        EXPECT_TRUE(SysfsNetStatsReader::isCounted(name)) << name;
    }
    for (const char* name : {"lo", "veth3f9a2c1", "docker0", "tun0", "wg0"}) EXPECT_FALSE(SysfsNetStatsReader::isCounted(name)) << name;
}

TEST(ThermalZones, levelIsTheWorstTripReached)
{
    const std::pair<const char*, ThermalLevel> cases[] = {
        {"cool", ThermalLevel::nominal},     {"passive", ThermalLevel::fair},
        {"hot", ThermalLevel::serious},      {"critical", ThermalLevel::critical},
        {"pkg", ThermalLevel::nominal},      {"damaged", ThermalLevel::nominal},
        {"no-such-tree", ThermalLevel::nominal}};
    for (const auto& [name, level] : cases) {
        const auto zones = SysfsThermalZoneReader(fixturePath(QStringLiteral("sys/thermal/") + name)).readZones();
        EXPECT_EQ(thermalLevelOf(zones), level) << name;
    }
    const auto zones = SysfsThermalZoneReader(fixturePath("sys/thermal/critical")).readZones();
    ASSERT_EQ(zones.size(), 2);
    EXPECT_EQ(zones[1].type, "SEN1");  // thermal_zone10 after thermal_zone0
    EXPECT_EQ(zones[1].tempC, 121.0);
    EXPECT_EQ(zones[1].trips.size(), 2);
}

TEST(ThermalZones, throttlePointIsTheProcessorZonesPassiveOrCriticalTrip)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"cool/class/thermal", 85.0},  // x86_pkg_temp: passive before critical
        {"damaged", 100.0},            // acpitz's trips are unset; the package zone's critical stands
        {"hot", 95.0},                 // only the ACPI zone: its passive trip
        {"critical", 119.0},           // the ACPI zone's critical; SEN1 is no processor zone
        {"active-only/class/thermal", std::nullopt},  // fan trips say nothing of throttling
        {"none/class/thermal", std::nullopt},
        {"no-such-tree", std::nullopt}};
    for (const auto& [name, trip] : cases) {
        const SysfsThermalZoneReader reader(fixturePath(QStringLiteral("sys/thermal/") + name));
        EXPECT_EQ(throttleTripOf(reader.readZones()), trip) << name;
    }
}

TEST(ThermalZones, laterReadingsFollowTheTemperatureOnly)
{
    FixtureTree tree("sys/thermal/hot");
    const SysfsThermalZoneReader reader(tree.path());
    ASSERT_EQ(reader.readZones().value(0).tempC, 101.0);
    tree.write("thermal_zone0/temp", "64000\n");
    const QList<ThermalZone> zones = reader.readZones();
    ASSERT_EQ(zones.size(), 1);
    EXPECT_EQ(zones[0].tempC, 64.0);
    EXPECT_EQ(zones[0].trips.size(), 3);
    EXPECT_EQ(thermalLevelOf(zones), ThermalLevel::nominal);
}
