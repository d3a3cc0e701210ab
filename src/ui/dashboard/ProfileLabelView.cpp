#include "ui/dashboard/ProfileLabelView.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/theme/PaletteTheme.h"
#include "ui/theme/SymbolIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr qreal gap = 4;
}

ProfileLabelView::ProfileLabelView(Sizes sizes, bool pill, QWidget* parent)
    : QWidget(parent), m_sizes(sizes), m_pill(pill)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ProfileLabelView::setStyle(const ProfileStyle& style)
{
    if (style.name == m_style.name && style.color == m_style.color && style.symbol == m_style.symbol) return;
    m_style = style;
    updateGeometry();
    update();
}

QFont ProfileLabelView::nameFont() const
{
    return DashboardStyle::font(m_sizes.name, m_sizes.weight);
}

QMargins ProfileLabelView::padding() const
{
    return m_pill ? QMargins(8, 3, 8, 3) : QMargins();
}

QSize ProfileLabelView::sizeHint() const
{
    const QFontMetrics fm(nameFont());
    const QMargins m = padding();
    const int w = int(std::ceil(m_sizes.symbol + gap)) + fm.horizontalAdvance(m_style.name) + 1;
    const int h = std::max(fm.height(), int(std::ceil(m_sizes.symbol)));
    return {w + m.left() + m.right(), h + m.top() + m.bottom()};
}

void ProfileLabelView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_pill) {
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(rect()), 10, 10);
        p.fillPath(capsule, withOpacity(m_style.color, 0.15));
    }
    const QRectF inner = QRectF(rect()).marginsRemoved(padding().toMarginsF());
    const QRectF symbolBox(inner.left(), inner.center().y() - m_sizes.symbol / 2, m_sizes.symbol, m_sizes.symbol);
    SymbolIcon::paint(p, symbolBox, m_style.symbol, m_style.color);
    p.setFont(nameFont());
    p.setPen(m_style.color);
    p.drawText(QRectF(symbolBox.right() + gap, inner.top(), inner.right() - symbolBox.right() - gap, inner.height()),
               Qt::AlignLeft | Qt::AlignVCenter, m_style.name);
}
