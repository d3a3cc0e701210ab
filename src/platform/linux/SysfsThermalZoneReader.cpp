#include "platform/linux/SysfsThermalZoneReader.h"

#include "platform/linux/SysfsValue.h"

SysfsThermalZoneReader::SysfsThermalZoneReader(QString root) : m_root(std::move(root)) {}

QList<ThermalZone> SysfsThermalZoneReader::readZones() const
{
    QList<ThermalZone> zones;
    {
        std::lock_guard lock(m_lock);
        if (!m_zones) m_zones = discover();
        zones = *m_zones;
    }
    for (ThermalZone& zone : zones) {
        zone.tempC.reset();
        if (const auto milli = SysfsValue::readInt(zone.tempPath)) zone.tempC = double(*milli) / 1000.0;
    }
    return zones;
}

QList<ThermalZone> SysfsThermalZoneReader::discover() const
{
    // A zone has at most a handful of trips; the kernel's limit is far above what firmware uses.
    constexpr int kMaxTrips = 32;
    QList<ThermalZone> zones;
    for (const QString& entry : SysfsValue::entries(m_root)) {
        if (!entry.startsWith(QLatin1String("thermal_zone"))) continue;
        const QString dir = m_root + QLatin1Char('/') + entry;
        ThermalZone zone;
        zone.type = SysfsValue::readText(dir + QStringLiteral("/type")).value_or(QString());
        zone.tempPath = dir + QStringLiteral("/temp");
        for (int i = 0; i < kMaxTrips; ++i) {
            const QString base = dir + QStringLiteral("/trip_point_%1_").arg(i);
            const auto type = SysfsValue::readText(base + QStringLiteral("type"));
            if (!type) break;
            const auto milli = SysfsValue::readInt(base + QStringLiteral("temp"));
            if (!milli) continue;
            zone.trips.push_back({*type, double(*milli) / 1000.0});
        }
        zones.push_back(zone);
    }
    return zones;
}
