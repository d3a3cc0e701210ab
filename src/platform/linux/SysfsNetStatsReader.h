#pragma once

#include "platform/NetStatsReader.h"

#include <QString>

// /sys/class/net/IF/statistics/{rx,tx}_bytes of the interfaces named en*, wl*, bridge*, eth*
// and br*; loopback never counts.
class SysfsNetStatsReader final : public NetStatsReader {
public:
    explicit SysfsNetStatsReader(QString root = QStringLiteral("/sys/class/net"));
    InterfaceByteCounters readInterfaceCounters() const override;

    static bool isCounted(const QString& interfaceName);
    // A bridge (its members listed in brif/) with a member that is counted itself.
    static bool isBridgeOverCountedMembers(const QString& dir);

private:
    QString m_root;
};
