#include "platform/linux/SysfsThermalStateSource.h"

#include "platform/linux/ProcFiles.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>

namespace {

std::optional<int64_t> readMilliCelsius(const QByteArray& path)
{
    char buffer[32];
    const ssize_t n = ProcFiles::readInto(AT_FDCWD, path.constData(), buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    const char* p = buffer;
    int64_t v = 0;
    if (!ProcFiles::parseSigned(p, buffer + n, v)) return std::nullopt;
    return v;
}

int levelOfTripType(QByteArray type)
{
    type = type.trimmed();
    if (type == "passive") return 1;
    if (type == "hot") return 2;
    if (type == "critical") return 3;
    return 0;  // "active" trips only start fans
}

}  // namespace

SysfsThermalStateSource::SysfsThermalStateSource(const QString& sysRoot) : m_root(sysRoot) {}

void SysfsThermalStateSource::discover()
{
    m_discovered = true;
    const QDir thermal(m_root + QStringLiteral("/class/thermal"));
    const QStringList zones = thermal.entryList({QStringLiteral("thermal_zone*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : zones) {
        const QString dir = thermal.filePath(name);
        Zone zone;
        zone.tempPath = QFile::encodeName(dir + QStringLiteral("/temp"));
        for (int i = 0; i < 64; ++i) {
            const QString prefix = dir + QStringLiteral("/trip_point_%1_").arg(i);
            const QByteArray type = ProcFiles::readSmall(QFile::encodeName(prefix + QStringLiteral("type")), 64);
            if (type.isEmpty()) break;
            const int level = levelOfTripType(type);
            const auto temp = readMilliCelsius(QFile::encodeName(prefix + QStringLiteral("temp")));
            // Unset trips read as 0 or below on some firmware.
            if (level > 0 && temp && *temp > 0) zone.trips.push_back({*temp, level});
        }
        if (!zone.trips.empty()) m_zones.push_back(std::move(zone));
    }
}

int SysfsThermalStateSource::thermalState()
{
    if (!m_discovered) discover();
    int worst = 0;
    for (const Zone& zone : m_zones) {
        const auto temp = readMilliCelsius(zone.tempPath);
        if (!temp) continue;
        for (const Trip& trip : zone.trips) {
            if (*temp >= trip.milliCelsius) worst = std::max(worst, trip.level);
        }
    }
    return worst;
}
