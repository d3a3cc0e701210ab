#include "ui/chat/YoloBadge.h"

#include "actions/ActionGate.h"
#include "ui/chat/ChatPresentation.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kDot = 7;
constexpr int kPadX = 7;
constexpr int kGap = 5;
}  // namespace

YoloBadge::YoloBadge(ActionGate& gate, ThemeManager& themes, QWidget* parent)
    : QWidget(parent), m_gate(gate), m_theme(this, themes)
{
    connect(&gate, &ActionGate::yoloArmedChanged, this, [this] {
        updateGeometry();
        update();
    });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString YoloBadge::label() const { return ChatPresentation::yoloBadge(m_gate.yoloArmed(), m_theme.theme()).label; }

QFont YoloBadge::labelFont() const
{
    QFont f = systemFont(9, QFont::Bold);
    f.setStyleHint(QFont::Monospace);
    f.setFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    return f;
}

QSize YoloBadge::sizeHint() const
{
    const QFontMetrics fm(labelFont());
    return QSize(kPadX + kDot + kGap + fm.horizontalAdvance(label()) + kPadX, std::max(fm.height() + 8, 18));
}

void YoloBadge::paintEvent(QPaintEvent*)
{
    const ChatPresentation::BadgeLook look = ChatPresentation::yoloBadge(m_gate.yoloArmed(), m_theme.theme());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(look.outline, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(look.dot);
    p.drawEllipse(QRectF(kPadX, (height() - kDot) / 2.0, kDot, kDot));
    p.setPen(look.labelColor);
    p.setFont(labelFont());
    p.drawText(QRectF(kPadX + kDot + kGap, 0, width() - kPadX - kDot - kGap, height()), Qt::AlignVCenter | Qt::AlignLeft,
               look.label);
}
