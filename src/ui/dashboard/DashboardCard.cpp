#include "ui/dashboard/DashboardCard.h"

#include "ui/dashboard/DashboardStyle.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

DashboardCard::DashboardCard(ThemeManager& themes, int padding, int spacing, QWidget* parent)
    : QWidget(parent), m_theme(this, themes), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(padding, padding, padding, padding);
    m_layout->setSpacing(spacing);
}

void DashboardCard::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const PaletteTheme& theme = m_theme.theme();
    // A child that redraws (a gauge, a figure) asks for the card behind it: inside the border and
    // clear of the round corners that is the surface alone, a plain fill instead of the outline
    // of the whole card.
    const QRect across = rect().adjusted(int(DashboardStyle::cardRadius), 1, -int(DashboardStyle::cardRadius), -1);
    const QRect down = rect().adjusted(1, int(DashboardStyle::cardRadius), -1, -int(DashboardStyle::cardRadius));
    const QRegion& dirty = event->region();
    const bool inside = theme.surface.alpha() == 255 && std::all_of(dirty.begin(), dirty.end(), [&](const QRect& r) {
        return across.contains(r) || down.contains(r);
    });
    if (!inside) {
        DashboardStyle::paintCard(p, rect(), theme);
        return;
    }
    for (const QRect& r : dirty) p.fillRect(r, theme.surface);
}
