#include "ui/dashboard/DashboardCard.h"

#include "ui/dashboard/DashboardStyle.h"

#include <QPainter>

DashboardCard::DashboardCard(ThemeManager& themes, int padding, int spacing, QWidget* parent)
    : QWidget(parent), m_theme(this, themes), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(padding, padding, padding, padding);
    m_layout->setSpacing(spacing);
}

void DashboardCard::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    DashboardStyle::paintCard(p, rect(), m_theme.theme());
}
