#include "optimisation/PerformanceProfileManager.h"

#include "core/UserDefaults.h"

namespace {
const QString activeProfileKey = QStringLiteral("veltranmoor_active_profile");
}

PerformanceProfileManager::PerformanceProfileManager(UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults)
{
    // Whoever writes the stored profile, the windows follow it.
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == activeProfileKey) Q_EMIT activeProfileChanged();
    });
}

PerformanceMode PerformanceProfileManager::activeProfile() const
{
    const auto raw = m_defaults.getString(activeProfileKey);
    return raw ? PerformanceModes::fromRaw(*raw).value_or(PerformanceMode::balanced) : PerformanceMode::balanced;
}

void PerformanceProfileManager::applyMode(PerformanceMode) {}

void PerformanceProfileManager::switchProfile(PerformanceMode mode)
{
    m_defaults.setString(activeProfileKey, PerformanceModes::rawValue(mode));
    applyMode(mode);
}
