#include "ui/theme/TavrilonSecondaryButton.h"

#include "ui/theme/SymbolIcon.h"

#include <QFontMetricsF>
#include <QPainterPath>

namespace {
QFont titleFont() { return systemFont(11.5, QFont::DemiBold); }
QFont iconFont() { return systemFont(11, QFont::DemiBold); }
}  // namespace

TavrilonSecondaryButton::TavrilonSecondaryButton(ThemeManager& themes, const QString& title, QString systemImage, QWidget* parent)
    : QAbstractButton(parent), m_theme(this, themes), m_systemImage(std::move(systemImage))
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TavrilonSecondaryButton::setSystemImage(const QString& name)
{
    if (name == m_systemImage) return;
    m_systemImage = name;
    update();
}

QSize TavrilonSecondaryButton::sizeHint() const
{
    const QFontMetricsF fm(titleFont());
    const qreal icon = QFontMetricsF(iconFont()).capHeight() * 1.4;
    return {int(std::ceil(icon + 6 + fm.horizontalAdvance(text()) + 24)), int(std::ceil(fm.height() + 16))};
}

void TavrilonSecondaryButton::enterEvent(QEnterEvent*)
{
    m_hovering = true;
    update();
}

void TavrilonSecondaryButton::leaveEvent(QEvent*)
{
    m_hovering = false;
    update();
}

void TavrilonSecondaryButton::paintEvent(QPaintEvent*)
{
    const PaletteTheme& t = m_theme.theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.4);
    const QRectF r = rect();
    QPainterPath shape;
    shape.addRoundedRect(r, 9, 9);
    p.fillPath(shape, withOpacity(t.surfaceElevated, m_hovering ? 1.0 : 0.7));

    QPainterPath edge;
    edge.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 8.5, 8.5);
    QList<QColor> lit;
    for (const QColor& c : t.stops()) lit << withOpacity(c, 0.9);
    p.strokePath(edge, QPen(m_hovering ? stopsBrush(lit, r.topLeft(), r.topRight()) : QBrush(t.border), 1));

    const QColor fg = m_hovering ? t.textBright : t.text;
    const QFontMetricsF fm(titleFont());
    const qreal icon = QFontMetricsF(iconFont()).capHeight() * 1.4;
    const qreal textWidth = std::min<qreal>(fm.horizontalAdvance(text()), std::max<qreal>(0, r.width() - icon - 6 - 16));
    const qreal total = icon + 6 + textWidth;
    const qreal left = r.center().x() - total / 2;
    SymbolIcon::paint(p, QRectF(left, r.center().y() - icon / 2, icon, icon), m_systemImage, QBrush(fg));
    p.setFont(titleFont());
    p.setPen(fg);
    p.drawText(QRectF(left + icon + 6, r.top(), textWidth + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(text(), Qt::ElideRight, textWidth + 1));
}
