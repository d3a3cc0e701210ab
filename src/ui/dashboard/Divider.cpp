#include "ui/dashboard/Divider.h"

#include <QPainter>

Divider::Divider(ThemeManager& themes, Qt::Orientation orientation, double opacity, QWidget* parent)
    : QWidget(parent), m_theme(this, themes), m_opacity(opacity)
{
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
}

void Divider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), withOpacity(m_theme.theme().border, m_opacity));
}
