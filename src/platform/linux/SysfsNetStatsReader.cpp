#include "platform/linux/SysfsNetStatsReader.h"

#include "platform/linux/SysfsValue.h"

#include <algorithm>

SysfsNetStatsReader::SysfsNetStatsReader(QString root) : m_root(std::move(root)) {}

bool SysfsNetStatsReader::isCounted(const QString& name)
{
    if (name == QLatin1String("lo")) return false;
    // Wired, wireless, bridges, and the modem, mobile broadband and USB tethering links.
    for (const char* prefix : {"en", "wl", "bridge", "eth", "br", "ppp", "wwan", "usb"}) {
        if (name.startsWith(QLatin1String(prefix))) return true;
    }
    return false;
}

bool SysfsNetStatsReader::isBridgeOverCountedMembers(const QString& dir)
{
    const QStringList members = SysfsValue::entries(dir + QStringLiteral("/brif"));
    return std::any_of(members.begin(), members.end(), [](const QString& m) { return isCounted(m); });
}

InterfaceByteCounters SysfsNetStatsReader::readInterfaceCounters() const
{
    constexpr int64_t kLoopbackType = 772;  // ARPHRD_LOOPBACK
    InterfaceByteCounters sums;
    for (const QString& name : SysfsValue::entries(m_root)) {
        if (!isCounted(name)) continue;
        const QString dir = m_root + QLatin1Char('/') + name;
        if (SysfsValue::readInt(dir + QStringLiteral("/type")) == kLoopbackType) continue;
        // A bridge carries its members' traffic again: counted only when none of them is.
        if (isBridgeOverCountedMembers(dir)) continue;
        const auto in = SysfsValue::readUnsigned(dir + QStringLiteral("/statistics/rx_bytes"));
        const auto out = SysfsValue::readUnsigned(dir + QStringLiteral("/statistics/tx_bytes"));
        if (!in || !out) continue;
        sums.bytesIn += *in;
        sums.bytesOut += *out;
        ++sums.interfaces;
    }
    return sums;
}
