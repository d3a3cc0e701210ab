#pragma once

#include "platform/HostCpuSource.h"

#include <QByteArray>
#include <QString>

// The first line of <proc>/stat: user, nice, system (+ irq, softirq, steal), idle (+ iowait).
class ProcHostCpuSource final : public HostCpuSource {
public:
    explicit ProcHostCpuSource(const QString& procRoot = QStringLiteral("/proc"));
    std::optional<CpuTicks> readTicks() override;

    // The parser alone, for text already read.
    static std::optional<CpuTicks> parse(const char* text, size_t length);

private:
    QByteArray m_path;
};
