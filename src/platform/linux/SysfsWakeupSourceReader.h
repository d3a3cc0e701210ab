#pragma once

#include "platform/WakeupSourceReader.h"

#include <QString>

// /sys/class/wakeup/*/{name,event_count}. An entry missing either file, or with a count that
// is not a plain number, is left out.
class SysfsWakeupSourceReader final : public WakeupSourceReader {
public:
    explicit SysfsWakeupSourceReader(QString root = QStringLiteral("/sys/class/wakeup"));
    QList<WakeupSource> wakeupSources() const override;

private:
    QString m_root;
};
