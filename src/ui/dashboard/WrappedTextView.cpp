#include "ui/dashboard/WrappedTextView.h"

#include <QPainter>
#include <QTextLayout>

WrappedTextView::WrappedTextView(const QString& text, const QFont& font, const QColor& color, int maxLines,
                                 QWidget* parent)
    : QWidget(parent), m_text(text), m_color(color), m_maxLines(std::max(1, maxLines))
{
    setFont(font);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappedTextView::setText(const QString& text)
{
    if (text == m_text) return;
    m_text = text;
    updateGeometry();
    update();
}

void WrappedTextView::setColor(const QColor& color)
{
    if (color == m_color) return;
    m_color = color;
    update();
}

QStringList WrappedTextView::linesFor(int width) const { return wrap(m_text, font(), width, m_maxLines); }

QStringList WrappedTextView::wrap(const QString& text, const QFont& font, int width, int maxLines)
{
    QStringList lines;
    if (text.isEmpty() || width <= 0) return lines;
    const QFontMetrics fm(font);
    // Most texts fit one line; measuring is much cheaper than laying out.
    if (!text.contains(QLatin1Char('\n')) && fm.horizontalAdvance(text) <= width) return {text.trimmed()};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            // The last allowed line takes the rest of the text, cut at its end.
            lines << fm.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

int WrappedTextView::heightForWidth(int width) const
{
    const qsizetype n = std::max<qsizetype>(1, linesFor(width).size());
    return int(n) * QFontMetrics(font()).lineSpacing();
}

QSize WrappedTextView::sizeHint() const
{
    return {QFontMetrics(font()).horizontalAdvance(m_text) + 1, QFontMetrics(font()).lineSpacing()};
}

QSize WrappedTextView::minimumSizeHint() const { return {0, QFontMetrics(font()).lineSpacing()}; }

void WrappedTextView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    p.setPen(m_color);
    const int step = QFontMetrics(font()).lineSpacing();
    int y = 0;
    for (const QString& line : linesFor(width())) {
        p.drawText(QRect(0, y, width(), step), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += step;
    }
}
