#pragma once

#include "ui/theme/PaletteTheme.h"

#include <QPointer>
#include <optional>

class QWidget;
class ThemeManager;

// The palette a themed widget draws with: the manager's current one (the widget repaints when
// it changes), or a palette pinned by the owner, as a preview card does.
class ThemeBinding {
public:
    ThemeBinding(QWidget* owner, ThemeManager& manager);

    const PaletteTheme& theme() const;
    void pin(const PaletteTheme& palette);
    void unpin();

private:
    QWidget* m_owner;
    QPointer<ThemeManager> m_manager;
    std::optional<PaletteTheme> m_pinned;
};
