#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

// The raw value of one system-management-controller key: its data type (a four-character
// code) and its bytes as the controller stores them.
struct SMCKeyValue {
    uint32_t dataType = 0;
    QByteArray bytes;
};

class SMCKeySource {
public:
    virtual ~SMCKeySource() = default;
    // none when the key cannot be read (no controller, unknown key). Any thread.
    virtual std::optional<SMCKeyValue> readKey(uint32_t key) const = 0;
};
