#pragma once

#include "monitoring/ThrottleAdvisor.h"

// Stands in until the learning engine lands: it learns nothing and lets the CPU threshold
// decide, so every sustained runaway is throttled.
class ThresholdThrottleAdvisor final : public ThrottleAdvisor {
public:
    void submitSnapshot(const PerformanceSnapshot&, const QList<ProcessInfoItem>&) override {}
    ThrottleVerdict judgeProcessCPU(const ProcessInfoItem&) override
    {
        return {QStringLiteral("Exceeds threshold (no baseline yet)"), false};
    }
};
