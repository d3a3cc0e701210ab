#pragma once

#include "core/Lifecycle.h"
#include "core/Paths.h"
#include "guards/AIShieldStatus.h"

// Placeholder until this guard lands: it watches nothing, so it publishes no process and no event.
class AIShield final : public Lifecycle, public AIShieldStatus {
public:
    static AIShield& shared();
    void start() override {}
    void stop() override {}

    QList<AIProcessInfo> processes() const override { return {}; }
    std::optional<QString> lastSuspiciousEvent() const override { return std::nullopt; }
    QString logPath() const override { return Paths::appSupportDir() + QStringLiteral("/ai-shield.log"); }
};
