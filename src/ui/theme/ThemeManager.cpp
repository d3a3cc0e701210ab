#include "ui/theme/ThemeManager.h"

#include "core/UserDefaults.h"

ThemeManager::ThemeManager(UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_current(PaletteTheme::ember())
{
    if (const PaletteTheme* saved = PaletteTheme::find(themeID())) m_current = *saved;
}

QString ThemeManager::themeID() const
{
    return m_defaults.getString(themeKey).value_or(QString());
}

void ThemeManager::setThemeID(const QString& id)
{
    m_defaults.setString(themeKey, id);
}

void ThemeManager::setCurrent(const PaletteTheme& palette)
{
    m_current = palette;
    Q_EMIT currentChanged();
}

void ThemeManager::applySavedTheme()
{
    const QString id = themeID();
    if (const PaletteTheme* saved = PaletteTheme::find(id)) {
        setCurrent(*saved);
        return;
    }
    const PaletteTheme& fallback = PaletteTheme::hud();
    if (!id.isEmpty()) setThemeID(fallback.id);
    setCurrent(fallback);
}

bool ThemeManager::choose(const QString& id)
{
    const PaletteTheme* palette = PaletteTheme::find(id);
    if (!palette) return false;
    setThemeID(palette->id);
    applySavedTheme();
    return true;
}

QColor statusColor(const HealthScore& score, const PaletteTheme& palette)
{
    switch (score.statusBand()) {
    case HealthScore::StatusBand::accent: return palette.accent;
    case HealthScore::StatusBand::warning: return palette.warning;
    case HealthScore::StatusBand::danger: return palette.danger;
    }
    return palette.danger;
}
