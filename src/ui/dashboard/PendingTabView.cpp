#include "ui/dashboard/PendingTabView.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/theme/SymbolIcon.h"

#include <QPainter>

PendingTabView::PendingTabView(ThemeManager& themes, DashboardTab tab, QWidget* parent)
    : QWidget(parent), m_theme(this, themes), m_tab(tab)
{
    setObjectName(QStringLiteral("pendingTab:") + DashboardTabs::rawValue(tab));
}

void PendingTabView::paintEvent(QPaintEvent*)
{
    const PaletteTheme& theme = m_theme.theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(20, 20, -20, -20);
    const qreal side = 16;
    SymbolIcon::paint(p, QRectF(area.left(), area.top(), side, side), DashboardTabs::icon(m_tab), theme.accent);
    p.setFont(DashboardStyle::tracked(DashboardStyle::mono(11, QFont::Bold), 1.5));
    p.setPen(theme.accent);
    p.drawText(QRectF(area.left() + side + 8, area.top(), area.width() - side - 8, side), Qt::AlignLeft | Qt::AlignVCenter,
               DashboardTabs::rawValue(m_tab).toUpper());
}
