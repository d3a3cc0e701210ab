#include "ui/chat/SymbolButton.h"

#include "ui/theme/SymbolIcon.h"

#include <QPainter>

SymbolButton::SymbolButton(QString symbol, int size, QWidget* parent)
    : QAbstractButton(parent), m_symbol(std::move(symbol)), m_size(size)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void SymbolButton::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QSize SymbolButton::sizeHint() const { return QSize(m_size + 4, m_size + 4); }

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box((width() - m_size) / 2.0, (height() - m_size) / 2.0, m_size, m_size);
    SymbolIcon::paint(p, box, m_symbol, isDown() ? m_color.darker(130) : m_color);
}
