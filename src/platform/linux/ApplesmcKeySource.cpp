#include "platform/linux/ApplesmcKeySource.h"

#include <cmath>

ApplesmcKeySource::ApplesmcKeySource(const HwmonReader& hwmon) : m_hwmon(hwmon) {}

std::optional<SMCKeyValue> ApplesmcKeySource::readKey(uint32_t key) const
{
    QString path;
    {
        std::lock_guard lock(m_mutex);
        // The driver's key list is fixed for the life of the machine: look it up once.
        if (!m_resolved) {
            m_resolved = true;
            for (const TemperatureInput& input : m_hwmon.temperatureInputs({QStringLiteral("applesmc")})) {
                const QByteArray label = input.label.toUtf8();
                if (label.size() != 4) continue;
                const uint32_t code = (uint32_t(uint8_t(label[0])) << 24) | (uint32_t(uint8_t(label[1])) << 16) |
                                      (uint32_t(uint8_t(label[2])) << 8) | uint32_t(uint8_t(label[3]));
                if (!m_paths.contains(code)) m_paths.insert(code, input.path);
            }
        }
        path = m_paths.value(key);
    }
    if (path.isEmpty()) return std::nullopt;
    const auto celsius = m_hwmon.readCelsius(path);
    if (!celsius || !std::isfinite(*celsius)) return std::nullopt;
    const double scaled = std::round(*celsius * 256.0);
    if (scaled < -32768.0 || scaled > 32767.0) return std::nullopt;
    const auto raw = uint16_t(int16_t(scaled));
    SMCKeyValue value;
    value.dataType = (uint32_t('s') << 24) | (uint32_t('p') << 16) | (uint32_t('7') << 8) | uint32_t('8');
    const char bytes[2] = {char(raw >> 8), char(raw & 0xff)};
    value.bytes = QByteArray(bytes, 2);
    return value;
}
