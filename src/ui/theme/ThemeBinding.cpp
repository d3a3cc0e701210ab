#include "ui/theme/ThemeBinding.h"

#include "ui/theme/ThemeManager.h"

#include <QWidget>

ThemeBinding::ThemeBinding(QWidget* owner, ThemeManager& manager) : m_owner(owner), m_manager(&manager)
{
    QObject::connect(&manager, &ThemeManager::currentChanged, owner, [owner] { owner->update(); });
}

const PaletteTheme& ThemeBinding::theme() const
{
    if (m_pinned) return *m_pinned;
    return m_manager ? m_manager->current() : PaletteTheme::ember();
}

void ThemeBinding::pin(const PaletteTheme& palette)
{
    m_pinned = palette;
    m_owner->update();
}

void ThemeBinding::unpin()
{
    m_pinned.reset();
    m_owner->update();
}
