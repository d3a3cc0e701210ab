#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

class SMCKeySource;

// Temperatures from system-management-controller keys. The key packing and the value
// decoders are pure functions; the controller's bytes come from the key source. Any thread.
class SMCReader {
public:
    explicit SMCReader(const SMCKeySource& source);

    static SMCReader& shared();

    std::optional<double> readKey(const QString& key);

    // The key's bytes packed big-end first: "TC0P" -> 0x54433050. Needs exactly 4 bytes.
    static std::optional<uint32_t> fourCharCode(QByteArrayView key);
    // "sp78": signed 8.8 fixed point, high byte first; "flt ": 32-bit float in the machine's
    // own order; "ui8 " and "si8 ": the first byte, 0-255. Anything else or too short: none.
    static std::optional<double> decode(uint32_t dataType, QByteArrayView bytes);

private:
    const SMCKeySource& m_source;
    std::mutex m_lock;
};
