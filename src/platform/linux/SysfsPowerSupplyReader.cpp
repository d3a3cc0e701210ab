#include "platform/linux/SysfsPowerSupplyReader.h"

#include "platform/linux/SysfsValue.h"

#include "core/Checked.h"

#include <cmath>
#include <cstdlib>
#include <utility>

using SysfsValue::readInt;
using SysfsValue::readText;

SysfsPowerSupplyReader::SysfsPowerSupplyReader(QString root) : m_root(std::move(root)) {}

namespace {

// A capacity pair in the battery's own unit: charge (µAh) or, for batteries that count
// energy, energy (µWh). Both figures of a pair come from the same family.
struct Pair {
    std::optional<int64_t> now, full, design;
};

Pair capacityPair(const QString& dir)
{
    for (const char* family : {"charge", "energy"}) {
        const QString base = dir + QLatin1Char('/') + QLatin1String(family);
        Pair p{readInt(base + QStringLiteral("_now")), readInt(base + QStringLiteral("_full")),
               readInt(base + QStringLiteral("_full_design"))};
        if (p.now || p.full || p.design) return p;
    }
    return {};
}

std::optional<int64_t> secondsToMinutes(const std::optional<int64_t>& seconds)
{
    if (!seconds) return std::nullopt;
    return *seconds / 60;
}

// Minutes to empty (discharging) or to full (charging) from the battery's level and the rate
// it changes at, for drivers that give no estimate: energy over power, else charge over current.
std::optional<int64_t> derivedMinutes(const QString& dir, bool charging)
{
    for (const auto& [amount, rate] : {std::pair{"energy", "power"}, std::pair{"charge", "current"}}) {
        const QString base = dir + QLatin1Char('/') + QLatin1String(amount);
        const auto now = readInt(base + QStringLiteral("_now"));
        const auto flow = readInt(dir + QLatin1Char('/') + QLatin1String(rate) + QStringLiteral("_now"));
        if (!now || !flow || *flow == 0) continue;
        double left = double(*now);
        if (charging) {
            const auto full = readInt(base + QStringLiteral("_full"));
            const std::optional<int64_t> missing = full ? Checked::sub(*full, *now) : std::nullopt;
            if (!missing || *missing < 0) continue;
            left = double(*missing);
        }
        // In doubles: the magnitude of the most negative rate has no int64_t; a result too
        // large for minutes is no estimate.
        return Checked::toInteger<int64_t>(left / std::fabs(double(*flow)) * 60.0);
    }
    return std::nullopt;
}

std::optional<int64_t> toMilli(const std::optional<int64_t>& micro)
{
    if (!micro) return std::nullopt;
    return *micro / 1000;
}

}  // namespace

PowerSupplyReading SysfsPowerSupplyReader::read() const
{
    QString battery;
    bool mainsOnline = false;
    for (const QString& name : SysfsValue::entries(m_root)) {
        const QString dir = m_root + QLatin1Char('/') + name;
        const auto type = readText(dir + QStringLiteral("/type"));
        if (!type) continue;
        if (*type == QLatin1String("Mains")) {
            mainsOnline = mainsOnline || readInt(dir + QStringLiteral("/online")).value_or(0) == 1;
        } else if (*type == QLatin1String("Battery") && battery.isEmpty()) {
            // Mice and headsets report their batteries here too, with scope "Device".
            if (readText(dir + QStringLiteral("/scope")).value_or(QString()) == QLatin1String("Device")) continue;
            if (readInt(dir + QStringLiteral("/present")).value_or(1) == 0) continue;
            battery = dir;
        }
    }

    PowerSupplyReading reading;
    if (battery.isEmpty()) return reading;

    const auto status = readText(battery + QStringLiteral("/status"));
    const Pair pair = capacityPair(battery);

    PowerSourceDescription source;
    if (const auto capacity = readInt(battery + QStringLiteral("/capacity"))) {
        source.currentCapacity = capacity;
        source.maxCapacity = 100;
    } else {
        source.currentCapacity = toMilli(pair.now);
        source.maxCapacity = toMilli(pair.full);
    }
    if (status) {
        source.isCharging = *status == QLatin1String("Charging");
        source.isCharged = *status == QLatin1String("Full");
    }
    source.powerSourceState = mainsOnline ? QStringLiteral("AC Power") : QStringLiteral("Battery Power");
    source.timeToEmpty = secondsToMinutes(readInt(battery + QStringLiteral("/time_to_empty_now")));
    source.timeToFullCharge = secondsToMinutes(readInt(battery + QStringLiteral("/time_to_full_now")));
    if (status == QLatin1String("Discharging") && !source.timeToEmpty) source.timeToEmpty = derivedMinutes(battery, false);
    if (status == QLatin1String("Charging") && !source.timeToFullCharge) source.timeToFullCharge = derivedMinutes(battery, true);
    reading.source = source;

    SmartBatteryEntry entry;
    entry.cycleCount = readInt(battery + QStringLiteral("/cycle_count"));
    entry.designCapacity = toMilli(pair.design);
    entry.maxCapacity = toMilli(pair.full);
    // Tenths of a degree to hundredths; a figure too large to scale is no reading.
    if (const auto temp = readInt(battery + QStringLiteral("/temp"))) entry.temperature = Checked::mul<int64_t>(*temp, 10);
    const auto voltage = readInt(battery + QStringLiteral("/voltage_now"));
    entry.voltage = toMilli(voltage);
    std::optional<int64_t> current = toMilli(readInt(battery + QStringLiteral("/current_now")));
    if (!current) {
        // Energy-counting batteries give power instead: I = P / U.
        const auto power = readInt(battery + QStringLiteral("/power_now"));
        if (power && voltage && *voltage > 0) current = Checked::toInteger<int64_t>(double(*power) / double(*voltage) * 1000.0);
    }
    // Drivers differ in the sign they give; the monitor expects negative while discharging.
    if (current && status && *status == QLatin1String("Discharging") && *current > 0) current = -*current;
    entry.amperage = current;
    reading.battery = entry;
    return reading;
}
