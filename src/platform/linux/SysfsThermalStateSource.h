#pragma once

#include "platform/ThermalStateSource.h"

#include <QByteArray>
#include <QString>
#include <vector>

// Thermal pressure from <sys>/class/thermal/thermal_zone*: the zone's temperature against its
// trip points (passive -> fair, hot -> serious, critical -> critical); the worst zone wins and
// a machine without zones is nominal.
class SysfsThermalStateSource final : public ThermalStateSource {
public:
    explicit SysfsThermalStateSource(const QString& sysRoot = QStringLiteral("/sys"));
    int thermalState() override;

private:
    struct Trip {
        int64_t milliCelsius = 0;
        int level = 0;
    };
    struct Zone {
        QByteArray tempPath;
        std::vector<Trip> trips;
    };
    void discover();

    QString m_root;
    bool m_discovered = false;
    // Zones and trip points are fixed by the firmware and the drivers, so they are read once;
    // only the temperatures change from sample to sample.
    std::vector<Zone> m_zones;
};
