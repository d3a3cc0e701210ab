#pragma once

#include "platform/ThermalZoneReader.h"

// /sys/class/thermal/thermal_zone*/: type, temp and trip_point_N_{type,temp}, in millidegrees.
class SysfsThermalZoneReader final : public ThermalZoneReader {
public:
    explicit SysfsThermalZoneReader(QString root = QStringLiteral("/sys/class/thermal"));
    QList<ThermalZone> readZones() const override;

private:
    QString m_root;
};
