#pragma once

#include "core/Models.h"

#include <QList>
#include <QString>

#include <optional>

struct ThermalTrip {
    QString type;  // "active", "passive", "hot", "critical"
    double tempC = 0;
};

struct ThermalZone {
    QString type;  // "x86_pkg_temp", "acpitz", "cpu-thermal", ...
    QString tempPath;
    std::optional<double> tempC;
    QList<ThermalTrip> trips;
};

class ThermalZoneReader {
public:
    virtual ~ThermalZoneReader() = default;
    // Every zone, in zone order; any thread.
    virtual QList<ThermalZone> readZones() const = 0;
};

// The machine's thermal pressure: the worst trip any zone has reached (passive -> fair,
// hot -> serious, critical -> critical); nominal with no zones or no reached trip.
ThermalLevel thermalLevelOf(const QList<ThermalZone>& zones);

// The temperature at which the processor is held back, as the firmware declares it: the lowest
// passive trip of the CPU's own zones (x86_pkg_temp, cpu-thermal), else their lowest critical
// trip, and failing those the same of the ACPI zone. None when no such trip is set.
std::optional<double> throttleTripOf(const QList<ThermalZone>& zones);
