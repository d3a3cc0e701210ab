#include "ui/dashboard/TextView.h"

#include <QPainter>

TextView::TextView(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
    : QWidget(parent), m_text(text), m_color(color)
{
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TextView::setText(const QString& text)
{
    if (text == m_text) return;
    const QSize before = sizeHint();
    m_text = text;
    // A new reading of the same width leaves the layout alone; only this view is drawn again.
    if (sizeHint() != before) updateGeometry();
    update();
}

void TextView::setColor(const QColor& color)
{
    if (color == m_color) return;
    m_color = color;
    update();
}

void TextView::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void TextView::setElides(bool elides)
{
    m_elides = elides;
    setSizePolicy(elides ? QSizePolicy::Ignored : QSizePolicy::Preferred, QSizePolicy::Fixed);
    updateGeometry();
}

void TextView::setElideMode(Qt::TextElideMode mode)
{
    m_elideMode = mode;
    update();
}

QSize TextView::sizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(m_text) + 1, fm.height()};
}

QSize TextView::minimumSizeHint() const
{
    if (m_elides) return {0, QFontMetrics(font()).height()};
    return sizeHint();
}

void TextView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    p.setPen(m_color);
    const QFontMetrics fm(font());
    p.drawText(rect(), int(m_alignment), fm.elidedText(m_text, m_elideMode, width()));
}
