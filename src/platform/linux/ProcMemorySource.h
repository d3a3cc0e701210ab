#pragma once

#include "platform/MemorySource.h"

#include <QByteArray>
#include <QString>

// <proc>/meminfo: MemTotal and MemAvailable.
class ProcMemorySource final : public MemorySource {
public:
    explicit ProcMemorySource(const QString& procRoot = QStringLiteral("/proc"));
    std::optional<MemoryStats> readMemory() override;

    static std::optional<MemoryStats> parse(const char* text, size_t length);

private:
    QByteArray m_path;
};
