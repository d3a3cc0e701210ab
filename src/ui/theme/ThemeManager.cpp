#include "ui/theme/ThemeManager.h"

namespace {
PaletteTheme fallbackPalette()
{
    return {QStringLiteral("default"), QColor(QStringLiteral("#00E5FF")), QColor(QStringLiteral("#FFB020")),
            QColor(QStringLiteral("#FF3B5C"))};
}
}  // namespace

ThemeManager::ThemeManager(QObject* parent) : QObject(parent), m_current(fallbackPalette()) {}

void ThemeManager::applySavedTheme()
{
    m_current = fallbackPalette();
    Q_EMIT currentChanged();
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
