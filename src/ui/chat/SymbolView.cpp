#include "ui/chat/SymbolView.h"

#include "ui/theme/SymbolIcon.h"

#include <QPainter>

SymbolView::SymbolView(QString name, int size, QWidget* parent) : QWidget(parent), m_name(std::move(name))
{
    setFixedSize(size, size);
}

void SymbolView::setName(const QString& name)
{
    m_name = name;
    update();
}

void SymbolView::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    SymbolIcon::paint(p, QRectF(rect()), m_name, m_color);
}
