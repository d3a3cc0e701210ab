#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One temperature input of a hardware-monitoring chip.
struct TemperatureInput {
    QString chip;   // the chip's driver name ("coretemp", "amdgpu", ...)
    QString label;  // the input's label, empty when the chip gives none
    QString path;   // where its reading is
    int index = 0;  // the input's number (temp1 is 1)
};

class HwmonReader {
public:
    virtual ~HwmonReader() = default;
    // Temperature inputs of the chips whose name is in chipNames, ordered by chip then input.
    virtual QList<TemperatureInput> temperatureInputs(const QStringList& chipNames) const = 0;
    // One reading in degrees Celsius; none when unreadable.
    virtual std::optional<double> readCelsius(const QString& path) const = 0;
};
