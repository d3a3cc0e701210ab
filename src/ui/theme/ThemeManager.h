#pragma once

#include "core/Models.h"
#include "ui/theme/PaletteTheme.h"

#include <QObject>
#include <QString>

class UserDefaults;

// Publishes the palette in use and remembers the user's choice under the settings key "theme".
// Lives on the main thread; every themed widget repaints on currentChanged().
class ThemeManager : public QObject {
    Q_OBJECT
public:
    static inline const QString themeKey = QStringLiteral("theme");

    // Starts with the saved palette, or Ember when none is saved or known; writes nothing.
    explicit ThemeManager(UserDefaults& defaults, QObject* parent = nullptr);
    static ThemeManager& shared();

    // The id the user chose; empty while they never chose. Setting it stores it at once and
    // leaves current() alone.
    QString themeID() const;
    void setThemeID(const QString& id);

    const PaletteTheme& current() const { return m_current; }
    // Publishes `palette` without touching themeID().
    void setCurrent(const PaletteTheme& palette);

    // Publishes the saved palette. An unknown saved id falls back to HUD and, when it was not
    // empty, is replaced by "hud" in the settings.
    void applySavedTheme();

    // The settings window's choice of a card: stores the id and publishes it. An id that is not
    // in the catalogue changes nothing; returns whether it was known.
    bool choose(const QString& id);

Q_SIGNALS:
    void currentChanged();

private:
    UserDefaults& m_defaults;
    PaletteTheme m_current;
};

// The colour a health score is shown in, from the current palette.
QColor statusColor(const HealthScore& score, const PaletteTheme& palette);
