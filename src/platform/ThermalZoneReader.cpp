#include "platform/ThermalZoneReader.h"

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
