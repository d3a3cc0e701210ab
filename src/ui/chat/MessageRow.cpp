#include "ui/chat/MessageRow.h"

#include "ui/chat/ChatPresentation.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The message text on a rounded fill; selectable so it can be copied.
class Bubble : public QLabel {
public:
    explicit Bubble(const QString& text, QWidget* parent) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);  // verbatim: never rich text, never a lookup key
        setText(text);
        setWordWrap(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setContentsMargins(11, 7, 11, 7);
    }
    void setFill(const QColor& fill)
    {
        m_fill = fill;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter p(this);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(m_fill);
            p.drawRoundedRect(QRectF(rect()), 10, 10);
        }
        QLabel::paintEvent(event);
    }

private:
    QColor m_fill;
};

QFont smallMonospaced(qreal size)
{
    QFont f = systemFont(size);
    f.setFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    return f;
}

}  // namespace

MessageRow::MessageRow(ChatMessage message, const PaletteTheme& theme, QWidget* parent)
    : QWidget(parent), m_message(std::move(message))
{
    const ChatPresentation::RowLook look = ChatPresentation::messageRow(m_message, theme);
    const bool trailing = look.side == ChatPresentation::Side::trailing;
    const Qt::Alignment align = trailing ? Qt::AlignRight : Qt::AlignLeft;

    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    m_bubble = new Bubble(m_message.text, this);
    column->addWidget(m_bubble, 0, align);
    if (look.showsUndo) {
        m_undo = new QPushButton(ChatPresentation::undoText, this);
        m_undo->setFlat(true);
        m_undo->setAutoDefault(false);
        m_undo->setCursor(Qt::PointingHandCursor);
        m_undo->setFont(systemFont(11, QFont::DemiBold));
        connect(m_undo, &QPushButton::clicked, this, &MessageRow::undo);
        column->addWidget(m_undo, 0, align);
    }
    if (look.backendLabel) {
        m_label = new QLabel(this);
        m_label->setTextFormat(Qt::PlainText);
        m_label->setText(*look.backendLabel);
        m_label->setFont(smallMonospaced(9));
        column->addWidget(m_label, 0, align);
    }

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 4, 12, 4);
    row->setSpacing(0);
    if (trailing) {
        row->addSpacing(ChatPresentation::minimumGap);
        row->addStretch(1);
        row->addLayout(column);
    } else {
        row->addLayout(column);
        row->addStretch(1);
        row->addSpacing(ChatPresentation::minimumGap);
    }
    setTheme(theme);
}

void MessageRow::setTheme(const PaletteTheme& theme)
{
    const ChatPresentation::RowLook look = ChatPresentation::messageRow(m_message, theme);
    auto* bubble = static_cast<Bubble*>(m_bubble);
    bubble->setFill(look.bubbleFill);
    bubble->setFont(theme.monoFont.font());
    fitBubble();
    QPalette pal = bubble->palette();
    pal.setColor(QPalette::WindowText, look.textColor);
    pal.setColor(QPalette::Text, look.textColor);
    pal.setColor(QPalette::Highlight, withOpacity(theme.accent, 0.45));
    pal.setColor(QPalette::HighlightedText, theme.textBright);
    bubble->setPalette(pal);
    if (m_undo) {
        QPalette p = m_undo->palette();
        p.setColor(QPalette::ButtonText, theme.accentSecondary);
        p.setColor(QPalette::Disabled, QPalette::ButtonText, withOpacity(theme.accentSecondary, 0.45));
        m_undo->setPalette(p);
    }
    if (m_label) {
        QPalette p = m_label->palette();
        p.setColor(QPalette::WindowText, theme.textDim);
        m_label->setPalette(p);
    }
}

void MessageRow::resizeEvent(QResizeEvent* event)
{
    fitBubble();
    QWidget::resizeEvent(event);
}

void MessageRow::fitBubble()
{
    // A short line keeps a snug bubble; a long one wraps at the row's width, leaving the
    // free space beside it. The width is fixed so the label's height follows its wrapping.
    const QMargins margins = layout()->contentsMargins();
    const int available = std::max(60, width() - margins.left() - margins.right() - ChatPresentation::minimumGap);
    const QFontMetrics fm(m_bubble->font());
    int natural = 0;
    for (const QString& line : m_bubble->text().split(QLatin1Char('\n')))
        natural = std::max(natural, fm.horizontalAdvance(line));
    const QMargins inner = m_bubble->contentsMargins();
    natural += inner.left() + inner.right() + 2;
    m_bubble->setFixedWidth(std::min(natural, available));
}

void MessageRow::undo()
{
    // One undo per reply: the button stays where it was but cannot put the state back twice.
    m_undo->setEnabled(false);
    if (m_message.undo) m_message.undo();
}
