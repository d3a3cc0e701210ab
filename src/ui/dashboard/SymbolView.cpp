#include "ui/dashboard/SymbolView.h"

#include "ui/theme/SymbolIcon.h"

#include <QPainter>
#include <cmath>

SymbolView::SymbolView(const QString& name, qreal side, const QColor& color, QWidget* parent)
    : QWidget(parent), m_name(name), m_side(side), m_color(color)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setName(const QString& name)
{
    if (name == m_name) return;
    m_name = name;
    update();
}

void SymbolView::setColor(const QColor& color)
{
    if (color == m_color) return;
    m_color = color;
    update();
}

QSize SymbolView::sizeHint() const
{
    const int side = int(std::ceil(m_side));
    return {side, side};
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(QPointF(0, 0), QSizeF(m_side, m_side));
    SymbolIcon::paint(p, box.translated(rect().center() - box.center()), m_name, m_color);
}
