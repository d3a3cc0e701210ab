#include "ui/theme/TavrilonModePicker.h"

#include "ui/theme/Shadow.h"
#include "ui/theme/SymbolIcon.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QToolTip>

namespace {
constexpr qreal kSpacing = 4;
constexpr qreal kTopMargin = 5;     // room for the selected button's shadow
constexpr qreal kBottomMargin = 8;  // it falls 2 below
QFont iconFont() { return systemFont(11, QFont::DemiBold); }
qreal iconSize() { return QFontMetricsF(iconFont()).capHeight() * 1.5; }
}  // namespace

TavrilonModePicker::TavrilonModePicker(ThemeManager& themes, QList<PerformanceMode> modes, PerformanceMode selection, QWidget* parent)
    : QWidget(parent), m_theme(this, themes), m_modes(std::move(modes)), m_selection(selection)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void TavrilonModePicker::setSelection(PerformanceMode mode)
{
    m_selection = mode;
    update();
}

int TavrilonModePicker::highlightedIndex() const
{
    return int(m_modes.indexOf(m_selection));
}

QString TavrilonModePicker::iconName(PerformanceMode mode)
{
    switch (mode) {
    case PerformanceMode::maxPerformance: return QStringLiteral("flame.fill");
    case PerformanceMode::balanced: return QStringLiteral("scale.3d");
    case PerformanceMode::batterySaver: return QStringLiteral("leaf.fill");
    case PerformanceMode::creativeWork: return QStringLiteral("paintbrush.fill");
    case PerformanceMode::developer: return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case PerformanceMode::gaming: return QStringLiteral("gamecontroller.fill");
    }
    return {};
}

QList<QRectF> TavrilonModePicker::buttonRects(const QRectF& area, qsizetype count)
{
    QList<QRectF> out;
    if (count <= 0) return out;
    const qreal w = std::max<qreal>(0, (area.width() - kSpacing * qreal(count - 1)) / qreal(count));
    for (qsizetype i = 0; i < count; ++i) out << QRectF(area.left() + qreal(i) * (w + kSpacing), area.top(), w, area.height());
    return out;
}

QRectF TavrilonModePicker::buttonsArea() const
{
    return QRectF(0, kTopMargin, width(), height() - kTopMargin - kBottomMargin);
}

QSize TavrilonModePicker::sizeHint() const
{
    const qreal buttonHeight = iconSize() + 14;
    return {int(m_modes.size() * 34), int(std::ceil(buttonHeight + kTopMargin + kBottomMargin))};
}

int TavrilonModePicker::indexAt(QPointF pos) const
{
    const QList<QRectF> rects = buttonRects(buttonsArea(), m_modes.size());
    for (qsizetype i = 0; i < rects.size(); ++i) {
        if (rects[i].contains(pos)) return int(i);
    }
    return -1;
}

void TavrilonModePicker::mousePressEvent(QMouseEvent* e)
{
    m_pressed = e->button() == Qt::LeftButton ? indexAt(e->position()) : -1;
}

void TavrilonModePicker::mouseReleaseEvent(QMouseEvent* e)
{
    const int index = indexAt(e->position());
    if (e->button() == Qt::LeftButton && index >= 0 && index == m_pressed) {
        m_selection = m_modes[index];
        update();
        Q_EMIT selectionChanged(m_selection);
    }
    m_pressed = -1;
}

bool TavrilonModePicker::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const int index = indexAt(help->pos());
        if (index >= 0) QToolTip::showText(help->globalPos(), PerformanceModes::rawValue(m_modes[index]), this);
        else QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

void TavrilonModePicker::paintEvent(QPaintEvent*)
{
    const PaletteTheme& t = m_theme.theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QList<QRectF> rects = buttonRects(buttonsArea(), m_modes.size());
    const int selected = highlightedIndex();
    for (qsizetype i = 0; i < rects.size(); ++i) {
        const QRectF& r = rects[i];
        QPainterPath shape;
        shape.addRoundedRect(r, 7, 7);
        const bool on = i == selected;
        if (on) {
            m_shadow.draw(p, r, withOpacity(t.firstStop(), 0.45), 6, {0, 2}, 7, [&](QPainter& lp) { lp.fillPath(shape, Qt::black); });
            p.fillPath(shape, stopsBrush(t.stops(), r.topLeft(), r.topRight()));
        } else {
            p.fillPath(shape, withOpacity(t.surfaceElevated, 0.6));
        }
        const qreal s = iconSize();
        SymbolIcon::paint(p, QRectF(r.center() - QPointF(s / 2, s / 2), QSizeF(s, s)), iconName(m_modes[i]),
                          on ? QBrush(Qt::white) : QBrush(t.textDim));
    }
}
