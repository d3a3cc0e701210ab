#pragma once

#include "platform/HwmonReader.h"
#include "platform/SMCKeySource.h"

#include <QHash>
#include <mutex>

// The applesmc driver publishes the controller's temperature keys as hwmon inputs whose label
// is the key ("TC0P"). Its readings come back as the controller's own sp78 values, so the
// decoders see what the controller holds.
class ApplesmcKeySource final : public SMCKeySource {
public:
    explicit ApplesmcKeySource(const HwmonReader& hwmon);
    std::optional<SMCKeyValue> readKey(uint32_t key) const override;

private:
    const HwmonReader& m_hwmon;
    mutable std::mutex m_mutex;
    mutable bool m_resolved = false;
    mutable QHash<uint32_t, QString> m_paths;
};
