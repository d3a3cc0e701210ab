#pragma once

#include <QList>
#include <QString>

#include <optional>

// What the status menu reads of AI Shield.
class AIShieldStatus {
public:
    struct AIProcessInfo {
        int32_t id = 0;  // the pid
        QString name;
    };

    virtual ~AIShieldStatus() = default;
    virtual QList<AIProcessInfo> processes() const = 0;
    virtual std::optional<QString> lastSuspiciousEvent() const = 0;
    virtual QString logPath() const = 0;  // ai-shield.log
};
