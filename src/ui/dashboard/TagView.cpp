#include "ui/dashboard/TagView.h"

#include "ui/dashboard/DashboardStyle.h"

#include <QPainter>
#include <QPainterPath>

TagView::TagView(ThemeManager& themes, const QString& text, QWidget* parent)
    : QWidget(parent), m_theme(this, themes), m_text(text)
{
    setFont(DashboardStyle::mono(8, QFont::Bold));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TagView::sizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(m_text) + 8, fm.height() + 2};
}

void TagView::paintEvent(QPaintEvent*)
{
    const QColor accent = m_theme.theme().accent;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()), 3, 3);
    p.fillPath(plate, withOpacity(accent, 0.15));
    p.setFont(font());
    p.setPen(accent);
    p.drawText(rect(), Qt::AlignCenter, m_text);
}
