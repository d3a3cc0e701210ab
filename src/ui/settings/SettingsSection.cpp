#include "ui/settings/SettingsSection.h"

namespace SettingsSections {

QString rawValue(SettingsSection section)
{
    switch (section) {
    case SettingsSection::profiles: return QStringLiteral("Profiles");
    case SettingsSection::general: return QStringLiteral("General");
    case SettingsSection::permissions: return QStringLiteral("Permissions");
    case SettingsSection::appearance: return QStringLiteral("Appearance");
    case SettingsSection::autopilot: return QStringLiteral("AutoPilot");
    case SettingsSection::automation: return QStringLiteral("Automation & Guards");
    case SettingsSection::assistant: return QStringLiteral("AI Assistant");
    case SettingsSection::myData: return QStringLiteral("My Data");
    case SettingsSection::thresholds: return QStringLiteral("Thresholds");
    case SettingsSection::processes: return QStringLiteral("Protected Processes");
    case SettingsSection::tavrilonWatcher: return QStringLiteral("Tavrilon Watcher");
    case SettingsSection::aiShield: return QStringLiteral("AI Shield");
    case SettingsSection::integration: return QStringLiteral("VRAX Integration");
    case SettingsSection::about: return QStringLiteral("About");
    }
    return {};
}

QString icon(SettingsSection section)
{
    switch (section) {
    case SettingsSection::profiles: return QStringLiteral("speedometer");
    case SettingsSection::general: return QStringLiteral("gearshape");
    case SettingsSection::permissions: return QStringLiteral("lock.open.rotation");
    case SettingsSection::appearance: return QStringLiteral("paintpalette");
    case SettingsSection::autopilot: return QStringLiteral("wand.and.rays");
    case SettingsSection::automation: return QStringLiteral("bolt.badge.automatic");
    case SettingsSection::assistant: return QStringLiteral("bubble.left.and.text.bubble.right");
    case SettingsSection::myData: return QStringLiteral("externaldrive.badge.person.crop");
    case SettingsSection::thresholds: return QStringLiteral("slider.horizontal.3");
    case SettingsSection::processes: return QStringLiteral("lock.shield");
    case SettingsSection::tavrilonWatcher: return QStringLiteral("folder.badge.gearshape");
    case SettingsSection::aiShield: return QStringLiteral("shield.lefthalf.filled");
    case SettingsSection::integration: return QStringLiteral("network");
    case SettingsSection::about: return QStringLiteral("info.circle");
    }
    return {};
}

std::optional<SettingsSection> fromRaw(const QString& raw)
{
    for (SettingsSection section : all)
        if (rawValue(section) == raw) return section;
    return std::nullopt;
}

}  // namespace SettingsSections
