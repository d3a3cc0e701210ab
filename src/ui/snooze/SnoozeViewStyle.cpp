#include "ui/snooze/SnoozeViewStyle.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace SnoozeViewStyle {

QFont font(qreal size, QFont::Weight weight, Design design)
{
    QFont f = design == Design::monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    f.setPixelSize(qMax(1, qRound(size)));
    f.setWeight(weight);
    return f;
}

QColor white(qreal opacity)
{
    QColor c(Qt::white);
    c.setAlphaF(float(opacity));
    return c;
}

}  // namespace SnoozeViewStyle

SnoozePillButton::SnoozePillButton(const QString& text, QColor fill, QColor ink, QWidget* parent)
    : QPushButton(text, parent), m_fill(fill), m_ink(ink)
{
    setFont(SnoozeViewStyle::font(18, QFont::Bold));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFlat(true);
}

QSize SnoozePillButton::sizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 56, fm.height() + 24};
}

void SnoozePillButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A disabled button fades like the rest of a plain button's label.
    if (!isEnabled()) p.setOpacity(0.4);
    else if (isDown()) p.setOpacity(0.7);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    p.fillPath(shape, m_fill);
    p.setPen(m_ink);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}
