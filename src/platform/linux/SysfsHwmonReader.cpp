#include "platform/linux/SysfsHwmonReader.h"

#include "platform/linux/SysfsValue.h"

#include <QDir>

SysfsHwmonReader::SysfsHwmonReader(QString root) : m_root(std::move(root)) {}

QList<TemperatureInput> SysfsHwmonReader::temperatureInputs(const QStringList& chipNames) const
{
    struct Chip {
        QString dir;
        QString name;
    };
    QList<Chip> chips;
    for (const QString& entry : SysfsValue::entries(m_root)) {
        const QString dir = m_root + QLatin1Char('/') + entry;
        // Older kernels keep the attributes one level down, in device/.
        for (const QString& candidate : {dir, dir + QStringLiteral("/device")}) {
            const auto name = SysfsValue::readText(candidate + QStringLiteral("/name"));
            if (name && chipNames.contains(*name)) {
                chips.push_back({candidate, *name});
                break;
            }
        }
    }
    std::stable_sort(chips.begin(), chips.end(),
                     [&](const Chip& a, const Chip& b) { return chipNames.indexOf(a.name) < chipNames.indexOf(b.name); });

    QList<TemperatureInput> inputs;
    for (const Chip& chip : chips) {
        const QStringList files = QDir(chip.dir).entryList({QStringLiteral("temp*_input")}, QDir::Files | QDir::System);
        QList<TemperatureInput> found;
        for (const QString& file : files) {
            bool ok = false;
            const int index = file.mid(4, file.size() - 4 - 6).toInt(&ok);
            if (!ok) continue;
            const QString label =
                SysfsValue::readText(chip.dir + QStringLiteral("/temp%1_label").arg(index)).value_or(QString());
            found.push_back({chip.name, label, chip.dir + QLatin1Char('/') + file, index});
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
        // k10temp's Tctl is a control value with an offset of up to 27 °C on some processors;
        // the real die readings (Tdie, Tccd1...) are preferred wherever the chip gives them.
        if (chip.name == QLatin1String("k10temp")) {
            const auto isDie = [](const TemperatureInput& t) {
                return t.label == QLatin1String("Tdie") || t.label.startsWith(QLatin1String("Tccd"));
            };
            if (std::any_of(found.begin(), found.end(), isDie)) {
                found.removeIf([](const TemperatureInput& t) { return t.label == QLatin1String("Tctl"); });
            }
        }
        inputs += found;
    }
    return inputs;
}

std::optional<double> SysfsHwmonReader::readCelsius(const QString& path) const
{
    const auto milli = SysfsValue::readInt(path);
    if (!milli) return std::nullopt;
    return double(*milli) / 1000.0;
}
