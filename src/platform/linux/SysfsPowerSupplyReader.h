#pragma once

#include "platform/PowerSupplyReader.h"

// /sys/class/power_supply: the first system battery (type Battery, not a peripheral's) and
// whether a mains supply is online.
class SysfsPowerSupplyReader final : public PowerSupplyReader {
public:
    explicit SysfsPowerSupplyReader(QString root = QStringLiteral("/sys/class/power_supply"));
    PowerSupplyReading read() const override;

private:
    QString m_root;
};
