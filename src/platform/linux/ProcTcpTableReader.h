#pragma once

#include "platform/TcpTableReader.h"

#include <QByteArrayView>
#include <QString>
#include <chrono>

// The kernel's own count of established connections (CurrEstab in /proc/net/snmp, which also
// counts those the peer has closed and this side has not yet); without it, the /proc/net/tcp and
// /proc/net/tcp6 rows in state 01; `ss -Htan state established` as the fallback tool, run with
// both pipes drained and killed at its deadline.
class ProcTcpTableReader final : public TcpTableReader {
public:
    explicit ProcTcpTableReader(QString procRoot = QStringLiteral("/proc"), QString ssProgram = QStringLiteral("ss"),
                                std::chrono::milliseconds toolDeadline = std::chrono::milliseconds(3000));

    int64_t countEstablishedTCP() const override;
    int64_t readEstablishedConnections() const override;

    // One table file, -1 when it cannot be read; rows that are cut short or malformed do not count.
    int64_t countEstablishedInTable(const QString& path) const;
    // CurrEstab from an snmp file; -1 when the file or the field cannot be read.
    static int64_t currentEstablishedCounter(const QString& path);

private:
    QString m_procRoot;
    QString m_ssProgram;
    std::chrono::milliseconds m_toolDeadline;
};
