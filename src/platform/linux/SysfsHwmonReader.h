#pragma once

#include "platform/HwmonReader.h"

// /sys/class/hwmon/hwmon*/: "name", temp*_input in millidegrees Celsius, temp*_label.
class SysfsHwmonReader final : public HwmonReader {
public:
    explicit SysfsHwmonReader(QString root = QStringLiteral("/sys/class/hwmon"));
    QList<TemperatureInput> temperatureInputs(const QStringList& chipNames) const override;
    std::optional<double> readCelsius(const QString& path) const override;

private:
    QString m_root;
};
