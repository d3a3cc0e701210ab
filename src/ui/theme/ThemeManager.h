#pragma once

#include "core/Models.h"

#include <QColor>
#include <QObject>
#include <QString>

// The palette every view draws with. Until the palette catalogue lands there is one palette.
struct PaletteTheme {
    QString id;
    QColor accent;
    QColor warning;
    QColor danger;
};

class ThemeManager : public QObject {
    Q_OBJECT
public:
    explicit ThemeManager(QObject* parent = nullptr);
    static ThemeManager& shared();

    const PaletteTheme& current() const { return m_current; }
    void applySavedTheme();

Q_SIGNALS:
    void currentChanged();

private:
    PaletteTheme m_current;
};

// The colour a health score is shown in, from the current palette.
QColor statusColor(const HealthScore& score, const PaletteTheme& palette);
