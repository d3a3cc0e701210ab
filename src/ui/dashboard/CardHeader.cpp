#include "ui/dashboard/CardHeader.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/PaletteTheme.h"

CardHeader::CardHeader(const QString& symbol, const QString& title, QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_symbol = new SymbolView(symbol, 14, Qt::white, this);
    m_title = new TextView(title, DashboardStyle::tracked(DashboardStyle::mono(10, QFont::Bold), 1), Qt::white, this);
    row->addWidget(m_symbol);
    row->addWidget(m_title);
    m_trailing = new QHBoxLayout;
    m_trailing->setSpacing(4);
    row->addLayout(m_trailing, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void CardHeader::setColor(const QColor& color)
{
    m_symbol->setColor(color);
    m_title->setColor(withOpacity(color, 0.8));
}

void CardHeader::setSymbol(const QString& symbol)
{
    m_symbol->setName(symbol);
}

QString CardHeader::title() const
{
    return m_title->text();
}
