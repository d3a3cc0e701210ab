#include "platform/ThermalZoneReader.h"

#include <QStringList>

ThermalLevel thermalLevelOf(const QList<ThermalZone>& zones)
{
    ThermalLevel worst = ThermalLevel::nominal;
    for (const ThermalZone& zone : zones) {
        if (!zone.tempC) continue;
        for (const ThermalTrip& trip : zone.trips) {
            // Firmware fills unused trips with 0 or absurd values; they are never reached.
            if (trip.tempC <= 0 || *zone.tempC < trip.tempC) continue;
            ThermalLevel level = ThermalLevel::nominal;
            if (trip.type == QLatin1String("passive")) level = ThermalLevel::fair;
            else if (trip.type == QLatin1String("hot")) level = ThermalLevel::serious;
            else if (trip.type == QLatin1String("critical")) level = ThermalLevel::critical;
            if (int(level) > int(worst)) worst = level;
        }
    }
    return worst;
}

std::optional<double> throttleTripOf(const QList<ThermalZone>& zones)
{
    // Firmware fills unused trips with 0, negative or absurd values.
    const auto usable = [](const ThermalTrip& trip) { return trip.tempC > 0 && trip.tempC < 150; };
    const auto lowest = [&](const QStringList& zoneTypes, QLatin1String tripType) {
        std::optional<double> found;
        for (const ThermalZone& zone : zones) {
            if (!zoneTypes.contains(zone.type)) continue;
            for (const ThermalTrip& trip : zone.trips) {
                if (trip.type != tripType || !usable(trip)) continue;
                if (!found || trip.tempC < *found) found = trip.tempC;
            }
        }
        return found;
    };
    const QStringList die = {QStringLiteral("x86_pkg_temp"), QStringLiteral("cpu-thermal"), QStringLiteral("cpu_thermal")};
    const QStringList acpi = {QStringLiteral("acpitz")};
    for (const QStringList* types : {&die, &acpi}) {
        if (const auto passive = lowest(*types, QLatin1String("passive"))) return passive;
        if (const auto critical = lowest(*types, QLatin1String("critical"))) return critical;
    }
    return std::nullopt;
}
