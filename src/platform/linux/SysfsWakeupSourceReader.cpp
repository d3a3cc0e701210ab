#include "platform/linux/SysfsWakeupSourceReader.h"

#include "platform/linux/SysfsValue.h"

SysfsWakeupSourceReader::SysfsWakeupSourceReader(QString root) : m_root(std::move(root)) {}

QList<WakeupSource> SysfsWakeupSourceReader::wakeupSources() const
{
    QList<WakeupSource> sources;
    for (const QString& entry : SysfsValue::entries(m_root)) {
        const QString dir = m_root + QLatin1Char('/') + entry;
        const std::optional<QString> name = SysfsValue::readText(dir + QStringLiteral("/name"));
        const std::optional<uint64_t> count = SysfsValue::readUnsigned(dir + QStringLiteral("/event_count"));
        if (!name || !count) continue;
        sources.append(WakeupSource{*name, *count});
    }
    return sources;
}
