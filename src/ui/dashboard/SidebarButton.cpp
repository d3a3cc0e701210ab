#include "ui/dashboard/SidebarButton.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/theme/PaletteTheme.h"
#include "ui/theme/SymbolIcon.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr qreal radius = 8;
constexpr int padV = 8;
constexpr int padH = 12;
constexpr int iconFrame = 20;
constexpr int gap = 10;
}  // namespace

SidebarButton::SidebarButton(const QString& icon, const QString& label, QWidget* parent)
    : QAbstractButton(parent), m_icon(icon), m_label(label)
{
    setText(label);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SidebarButton::setSelected(bool selected)
{
    if (selected == m_selected) return;
    m_selected = selected;
    update();
}

void SidebarButton::setAccentColor(const QColor& color)
{
    if (color == m_accent) return;
    m_accent = color;
    update();
}

void SidebarButton::setBadge(qsizetype badge)
{
    if (badge == m_badge) return;
    m_badge = badge;
    update();
}

void SidebarButton::keyPressEvent(QKeyEvent* event)
{
    // Space is the button's own; Return and Enter (either key) open the entry as well.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plain && !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

QSize SidebarButton::sizeHint() const
{
    const QFontMetrics fm(DashboardStyle::font(13, QFont::DemiBold));
    return {padH + iconFrame + gap + fm.horizontalAdvance(m_label) + padH, padV + fm.height() + padV};
}

void SidebarButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, radius, radius);
    if (m_selected) {
        p.fillPath(shape, withOpacity(m_accent, 0.2));
        p.setPen(QPen(withOpacity(m_accent, 0.4), 1));
        p.drawPath(shape);
    }

    // Keyboard focus shows as a dashed light ring inside the button's shape: never the accent
    // and never a fill, which are the selection's.
    if (hasFocus()) {
        QPainterPath ring;
        ring.addRoundedRect(box.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
        QPen pen(withOpacity(Qt::white, 0.85), 1.5);
        pen.setDashPattern({3, 2});
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPath(ring);
    }

    const QColor fg = m_selected ? QColor(Qt::white) : namedColor(NamedColor::gray);
    const qreal iconSide = 15;
    const QRectF iconBox(padH + (iconFrame - iconSide) / 2, (height() - iconSide) / 2, iconSide, iconSide);
    SymbolIcon::paint(p, iconBox, m_icon, fg);

    qreal right = width() - padH;
    if (m_badge >= 1) {
        const QFont badgeFont = DashboardStyle::mono(9, QFont::Bold);
        const QFontMetrics bm(badgeFont);
        const QString text = QString::number(qint64(m_badge));
        const qreal w = bm.horizontalAdvance(text) + 10, h = bm.height() + 2;
        const QRectF pill(right - w, (height() - h) / 2, w, h);
        QPainterPath pillPath;
        pillPath.addRoundedRect(pill, 8, 8);
        p.fillPath(pillPath, withOpacity(m_accent, 0.6));
        p.setFont(badgeFont);
        p.setPen(Qt::white);
        p.drawText(pill, Qt::AlignCenter, text);
        right = pill.left() - 4;
    }

    const QFont labelFont = DashboardStyle::font(13, m_selected ? QFont::DemiBold : QFont::Normal);
    p.setFont(labelFont);
    p.setPen(fg);
    const qreal left = padH + iconFrame + gap;
    const QRectF textBox(left, 0, std::max<qreal>(0, right - left), height());
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(labelFont).elidedText(m_label, Qt::ElideRight, int(textBox.width())));
}
