#pragma once

#include <QStringList>

#include <mutex>
#include <optional>

class HwmonReader;
class ThermalZoneReader;

// The CPU die temperature: the hottest input of the CPU's own sensor chip, or else of the
// CPU's thermal zones. The sensors are looked up once per process. Any thread.
class HIDThermalReader {
public:
    HIDThermalReader(const HwmonReader& hwmon, const ThermalZoneReader& zones);

    static HIDThermalReader& shared();

    std::optional<double> readDieTemperature();

    static const QStringList& dieChipNames();
    static const QStringList& dieZoneTypes();

private:
    void resolveServices();

    const HwmonReader& m_hwmon;
    const ThermalZoneReader& m_zones;
    QStringList m_dieServices;  // files holding one reading each
    bool m_resolved = false;
    std::mutex m_lock;
};
