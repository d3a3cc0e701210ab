#pragma once

#include <QString>

#include <array>
#include <optional>

// The settings window's pages in sidebar order; the raw value is the title in the sidebar.
// The selection is never stored, so the titles are no storage format.
enum class SettingsSection {
    profiles,
    general,
    permissions,
    appearance,
    autopilot,
    automation,
    assistant,
    myData,
    thresholds,
    processes,
    tavrilonWatcher,
    aiShield,
    integration,
    about,
};

namespace SettingsSections {

inline constexpr std::array<SettingsSection, 14> all = {
    SettingsSection::profiles,   SettingsSection::general,    SettingsSection::permissions,
    SettingsSection::appearance, SettingsSection::autopilot,  SettingsSection::automation,
    SettingsSection::assistant,  SettingsSection::myData,     SettingsSection::thresholds,
    SettingsSection::processes,  SettingsSection::tavrilonWatcher, SettingsSection::aiShield,
    SettingsSection::integration, SettingsSection::about};

QString rawValue(SettingsSection section);
QString icon(SettingsSection section);
// The section whose title is exactly `raw`.
std::optional<SettingsSection> fromRaw(const QString& raw);

}  // namespace SettingsSections
