#include "ui/chat/TintedSymbol.h"

#include "ui/theme/SymbolIcon.h"

#include <QPainter>

TintedSymbol::TintedSymbol(QString name, int size, QWidget* parent) : QWidget(parent), m_name(std::move(name))
{
    setFixedSize(size, size);
}

void TintedSymbol::setName(const QString& name)
{
    m_name = name;
    update();
}

void TintedSymbol::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void TintedSymbol::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    SymbolIcon::paint(p, QRectF(rect()), m_name, m_color);
}
