#include "ui/dashboard/VRAXConnectedBadge.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/theme/PaletteTheme.h"
#include "ui/theme/SymbolIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace {
const QString text = QStringLiteral("VRAX");
constexpr qreal iconSide = 10;
QFont badgeFont()
{
    return DashboardStyle::tracked(DashboardStyle::mono(9, QFont::Bold), 1);
}
}  // namespace

VRAXConnectedBadge::VRAXConnectedBadge(const QColor& cyan, QWidget* parent) : QWidget(parent), m_cyan(cyan)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize VRAXConnectedBadge::sizeHint() const
{
    const QFontMetrics fm(badgeFont());
    return {8 + int(iconSide) + 4 + fm.horizontalAdvance(text) + 8, fm.height() + 6};
}

void VRAXConnectedBadge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath capsule;
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    capsule.addRoundedRect(box, box.height() / 2, box.height() / 2);
    p.fillPath(capsule, withOpacity(m_cyan, 0.15));
    p.setPen(QPen(withOpacity(m_cyan, 0.5), 1));
    p.drawPath(capsule);
    SymbolIcon::paint(p, QRectF(8, (height() - iconSide) / 2, iconSide, iconSide),
                      QStringLiteral("antenna.radiowaves.left.and.right"), m_cyan);
    p.setFont(badgeFont());
    p.setPen(m_cyan);
    p.drawText(QRectF(8 + iconSide + 4, 0, width() - 8 - iconSide - 4, height()), Qt::AlignLeft | Qt::AlignVCenter,
               text);
}
