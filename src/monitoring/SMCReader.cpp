#include "monitoring/SMCReader.h"

#include "platform/SMCKeySource.h"

#include <cstring>

SMCReader::SMCReader(const SMCKeySource& source) : m_source(source) {}

std::optional<uint32_t> SMCReader::fourCharCode(QByteArrayView key)
{
    if (key.size() != 4) return std::nullopt;
    uint32_t code = 0;
    for (char c : key) code = (code << 8) | uint8_t(c);
    return code;
}

std::optional<double> SMCReader::decode(uint32_t dataType, QByteArrayView bytes)
{
    static const uint32_t sp78 = *fourCharCode("sp78");
    static const uint32_t flt = *fourCharCode("flt ");
    static const uint32_t ui8 = *fourCharCode("ui8 ");
    static const uint32_t si8 = *fourCharCode("si8 ");

    if (dataType == sp78 && bytes.size() >= 2) {
        const auto raw = int16_t(uint16_t((uint8_t(bytes[0]) << 8) | uint8_t(bytes[1])));
        return double(raw) / 256.0;
    }
    if (dataType == flt && bytes.size() >= 4) {
        float value = 0;
        std::memcpy(&value, bytes.data(), sizeof value);
        return double(value);
    }
    if ((dataType == ui8 || dataType == si8) && bytes.size() >= 1) return double(uint8_t(bytes[0]));
    return std::nullopt;
}

std::optional<double> SMCReader::readKey(const QString& key)
{
    std::lock_guard lock(m_lock);
    const auto code = fourCharCode(key.toUtf8());
    if (!code) return std::nullopt;
    const auto value = m_source.readKey(*code);
    if (!value || value->bytes.size() < 1 || value->bytes.size() > 32) return std::nullopt;
    return decode(value->dataType, value->bytes);
}
