#include "ui/chat/ThemedColors.h"

void ThemedColors::add(QWidget* widget, QPalette::ColorRole role, Pick pick)
{
    m_entries.push_back({widget, role, std::move(pick)});
}

void ThemedColors::apply(const PaletteTheme& theme) const
{
    for (const Entry& e : m_entries) {
        if (!e.widget) continue;
        QPalette p = e.widget->palette();
        const QColor c = e.pick(theme);
        p.setColor(QPalette::Active, e.role, c);
        p.setColor(QPalette::Inactive, e.role, c);
        p.setColor(QPalette::Disabled, e.role, withOpacity(c, 0.6));
        e.widget->setPalette(p);
    }
}
