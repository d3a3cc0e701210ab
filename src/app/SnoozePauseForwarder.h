#pragma once

#include "guards/SnoozeTypes.h"

// The alert window is built before the guard that shows alerts through it, and reaches that
// guard through this once it exists.
class SnoozePauseForwarder final : public SnoozePauseControl {
public:
    void setTarget(SnoozePauseControl* target) { m_target = target; }
    void grantCompromise(int minutes) override
    {
        if (m_target) m_target->grantCompromise(minutes);
    }
    void emergencyOverride() override
    {
        if (m_target) m_target->emergencyOverride();
    }
    qint64 escalationLevel() const override { return m_target ? m_target->escalationLevel() : 0; }

private:
    SnoozePauseControl* m_target = nullptr;
};
