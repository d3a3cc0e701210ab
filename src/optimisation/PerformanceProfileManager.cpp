#include "optimisation/PerformanceProfileManager.h"

#include "core/UserDefaults.h"

PerformanceMode PerformanceProfileManager::activeProfile() const
{
    const auto raw = m_defaults.getString(QStringLiteral("veltranmoor_active_profile"));
    return raw ? PerformanceModes::fromRaw(*raw).value_or(PerformanceMode::balanced) : PerformanceMode::balanced;
}

void PerformanceProfileManager::applyMode(PerformanceMode) {}

void PerformanceProfileManager::switchProfile(PerformanceMode mode)
{
    m_defaults.setString(QStringLiteral("veltranmoor_active_profile"), PerformanceModes::rawValue(mode));
    applyMode(mode);
}
