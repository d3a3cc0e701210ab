#include "platform/linux/SysfsNetStatsReader.h"

#include "platform/linux/SysfsValue.h"

SysfsNetStatsReader::SysfsNetStatsReader(QString root) : m_root(std::move(root)) {}

bool SysfsNetStatsReader::isCounted(const QString& name)
{
    if (name == QLatin1String("lo")) return false;
    for (const char* prefix : {"en", "wl", "bridge", "eth", "br"}) {
        if (name.startsWith(QLatin1String(prefix))) return true;
    }
    return false;
}

InterfaceByteCounters SysfsNetStatsReader::readInterfaceCounters() const
{
    constexpr int64_t kLoopbackType = 772;  // ARPHRD_LOOPBACK
    InterfaceByteCounters sums;
    for (const QString& name : SysfsValue::entries(m_root)) {
        if (!isCounted(name)) continue;
        const QString dir = m_root + QLatin1Char('/') + name;
        if (SysfsValue::readInt(dir + QStringLiteral("/type")) == kLoopbackType) continue;
        const auto in = SysfsValue::readUnsigned(dir + QStringLiteral("/statistics/rx_bytes"));
        const auto out = SysfsValue::readUnsigned(dir + QStringLiteral("/statistics/tx_bytes"));
        if (!in || !out) continue;
        sums.bytesIn += *in;
        sums.bytesOut += *out;
    }
    return sums;
}
