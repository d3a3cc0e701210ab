#include "ui/dashboard/IconTextRow.h"

#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"

#include <QHBoxLayout>

IconTextRow::IconTextRow(const QString& symbol, qreal symbolSide, const QFont& font, const QColor& color, int spacing,
                         QWidget* parent)
    : QWidget(parent), m_color(color)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    m_symbol = new SymbolView(symbol, symbolSide, color, this);
    m_text = new TextView(QString(), font, color, this);
    row->addWidget(m_symbol, 0, Qt::AlignVCenter);
    row->addWidget(m_text, 1, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QString IconTextRow::text() const
{
    return m_text->text();
}

void IconTextRow::setText(const QString& text)
{
    m_text->setText(text);
}

void IconTextRow::setColor(const QColor& color)
{
    m_color = color;
    m_symbol->setColor(color);
    m_text->setColor(color);
}

void IconTextRow::setSymbolColor(const QColor& color)
{
    m_symbol->setColor(color);
}

void IconTextRow::setElides(bool elides)
{
    m_text->setElides(elides);
}
