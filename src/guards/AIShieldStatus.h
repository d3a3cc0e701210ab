#pragma once

#include "guards/AIProcessInfo.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// What the status menu and Work Guard read of AI Shield.
class AIShieldStatus {
public:
    using AIProcessInfo = ::AIProcessInfo;

    virtual ~AIShieldStatus() = default;
    virtual QList<AIProcessInfo> processes() const = 0;
    virtual std::optional<QString> lastSuspiciousEvent() const = 0;
    virtual std::optional<QDateTime> lastSuspiciousAt() const { return std::nullopt; }
    virtual QString logPath() const = 0;  // ai-shield.log
};
