#include "app/SettingsBridges.h"

#include "core/AppSettings.h"
#include "guards/AIShieldStatus.h"
#include "guards/BoundaryPaths.h"

ClientVRAXFeed::ClientVRAXFeed(AppSettings& settings, QObject* parent) : VRAXStatusFeed(parent), m_settings(settings)
{
    connect(&settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("vraxIntegrationEnabled")) Q_EMIT changed();
    });
}

VRAXStatusView ClientVRAXFeed::status() const
{
    VRAXStatusView v;
    v.kind = m_settings.vraxIntegrationEnabled() ? VRAXStatusView::Kind::connecting : VRAXStatusView::Kind::disabled;
    return v;
}

ShieldSettingsControls::ShieldSettingsControls(AppSettings& settings, AIShieldStatus& shield, QString home,
                                               QObject* parent)
    : AIShieldControls(parent), m_settings(settings), m_shield(shield), m_home(std::move(home))
{
}

void ShieldSettingsControls::setQuietHoursActive(bool active)
{
    if (active == m_quietHoursActive) return;
    m_quietHoursActive = active;
    Q_EMIT changed();
}

void ShieldSettingsControls::setSnoozePauseActive(bool active)
{
    if (active == m_snoozePauseActive) return;
    m_snoozePauseActive = active;
    Q_EMIT changed();
}

int ShieldSettingsControls::aiProcessCount() const { return int(m_shield.processes().size()); }

QStringList ShieldSettingsControls::loadBoundaryPaths() const { return BoundaryPaths::load(m_settings, m_home); }

void ShieldSettingsControls::addBoundaryPath(const QString& path) { BoundaryPaths::add(m_settings, path, m_home); }

void ShieldSettingsControls::removeBoundaryPath(const QString& path) { BoundaryPaths::remove(m_settings, path, m_home); }

void ShieldSettingsControls::saveBoundaryPaths(const QStringList& paths)
{
    BoundaryPaths::save(m_settings, paths, m_home);
}

QStringList ShieldSettingsControls::defaultBoundaryPaths() const { return BoundaryPaths::defaults(m_home); }
