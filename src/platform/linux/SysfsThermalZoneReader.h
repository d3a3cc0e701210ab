#pragma once

#include "platform/ThermalZoneReader.h"

#include <mutex>
#include <optional>

// /sys/class/thermal/thermal_zone*/: type, temp and trip_point_N_{type,temp}, in millidegrees.
// The zones and their trip points are fixed by the firmware and the drivers: they are listed on
// the first reading, and later readings only read the temperatures.
class SysfsThermalZoneReader final : public ThermalZoneReader {
public:
    explicit SysfsThermalZoneReader(QString root = QStringLiteral("/sys/class/thermal"));
    QList<ThermalZone> readZones() const override;

private:
    QList<ThermalZone> discover() const;

    QString m_root;
    mutable std::mutex m_lock;
    mutable std::optional<QList<ThermalZone>> m_zones;
};
