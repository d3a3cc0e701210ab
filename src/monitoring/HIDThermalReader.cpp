#include "monitoring/HIDThermalReader.h"

#include "platform/HwmonReader.h"
#include "platform/ThermalZoneReader.h"

HIDThermalReader::HIDThermalReader(const HwmonReader& hwmon, const ThermalZoneReader& zones)
    : m_hwmon(hwmon), m_zones(zones)
{
}

const QStringList& HIDThermalReader::dieChipNames()
{
    static const QStringList names = {QStringLiteral("coretemp"), QStringLiteral("k10temp"), QStringLiteral("zenpower"),
                                      QStringLiteral("cpu_thermal"), QStringLiteral("soc_thermal")};
    return names;
}

const QStringList& HIDThermalReader::dieZoneTypes()
{
    static const QStringList types = {QStringLiteral("x86_pkg_temp"), QStringLiteral("cpu-thermal")};
    return types;
}

void HIDThermalReader::resolveServices()
{
    // Set first: a machine without die sensors is not searched again on every reading.
    m_resolved = true;
    for (const TemperatureInput& input : m_hwmon.temperatureInputs(dieChipNames())) m_dieServices.push_back(input.path);
    if (!m_dieServices.isEmpty()) return;
    for (const ThermalZone& zone : m_zones.readZones()) {
        if (dieZoneTypes().contains(zone.type)) m_dieServices.push_back(zone.tempPath);
    }
}

std::optional<double> HIDThermalReader::readDieTemperature()
{
    std::lock_guard lock(m_lock);
    if (!m_resolved) resolveServices();
    std::optional<double> hottest;
    for (const QString& path : m_dieServices) {
        const auto value = m_hwmon.readCelsius(path);
        if (!value || !(*value > 0 && *value < 130)) continue;
        if (!hottest || *value > *hottest) hottest = value;
    }
    return hottest;
}
