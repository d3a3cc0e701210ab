#include "ui/dashboard/ProcessRow.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/ProcessActions.h"
#include "ui/dashboard/ProcessListModel.h"
#include "ui/theme/PaletteTheme.h"
#include "ui/theme/SymbolIcon.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int kPadH = 16;
constexpr int kPadV = 6;
constexpr int kPidWidth = 60;
constexpr int kColumn = 80;
constexpr int kButton = 18;  // the click area around a 10 pt symbol

struct Fonts {
    QFont pid = DashboardStyle::mono(11);
    QFont name = DashboardStyle::font(11);
    QFont cpu = DashboardStyle::mono(11, QFont::Medium);
    QFont memory = DashboardStyle::mono(11);
    QFont status = DashboardStyle::font(10);
};
const Fonts& fonts()
{
    static const Fonts f;
    return f;
}

QRect centredSquare(const QRect& cell, int side, int left)
{
    return QRect(left, cell.top() + (cell.height() - side) / 2, side, side);
}

void paintSymbol(QPainter& p, const QRect& box, qreal size, const QString& name, const QColor& color)
{
    const QRectF symbol(0, 0, size, size);
    SymbolIcon::paint(p, symbol.translated(QRectF(box).center() - symbol.center()), name, QBrush(color));
}

}  // namespace

ProcessItems* makeProcessItems(QObject* parent)
{
    return new ProcessItems([](const ProcessInfoItem& p) { return p; },
                            [](const ProcessInfoItem& a, const ProcessInfoItem& b) {
                                return a.name == b.name && a.cpuUsage == b.cpuUsage && a.memoryMB == b.memoryMB &&
                                       a.isRunaway == b.isRunaway && a.isProtected == b.isProtected;
                            },
                            parent);
}

ProcessRow::ProcessRow(ProcessActions& actions, QAbstractItemView* view)
    : QStyledItemDelegate(view), m_actions(actions), m_view(view), m_viewport(view->viewport())
{
    m_viewport->installEventFilter(this);
}

int ProcessRow::rowHeight()
{
    const Fonts& f = fonts();
    const int text = std::max({QFontMetrics(f.pid).height(), QFontMetrics(f.name).height(),
                               QFontMetrics(f.cpu).height(), QFontMetrics(f.status).height()});
    return kPadV + std::max(text, kButton) + kPadV + 1;
}

ProcessRow::Layout ProcessRow::layout(const ProcessInfoItem& process, const QRect& rect)
{
    Layout l;
    const QRect content = rect.adjusted(kPadH, kPadV, -kPadH, -kPadV - 1);
    l.divider = QRect(rect.left(), rect.bottom(), rect.width(), 1);
    const int top = content.top();
    const int h = content.height();
    int right = content.right() + 1;
    const QRect action(right - kColumn, top, kColumn, h);
    right -= kColumn;
    const QRect status(right - kColumn, top, kColumn, h);
    right -= kColumn;
    l.memory = QRect(right - kColumn, top, kColumn, h);
    right -= kColumn;
    l.cpu = QRect(right - kColumn, top, kColumn, h);
    right -= kColumn;
    l.pid = QRect(content.left(), top, kPidWidth, h);
    QRect name(l.pid.right() + 1, top, std::max(0, right - l.pid.right() - 1), h);
    if (process.isProtected) {
        l.shield = centredSquare(name, 9, name.left());
        name.setLeft(l.shield.right() + 1 + 4);
    }
    l.name = name;

    // The status cell: dot, 4, word, centred together.
    const int word = QFontMetrics(fonts().status)
                         .horizontalAdvance(process.isRunaway ? QStringLiteral("High") : QStringLiteral("Normal"));
    const int statusLeft = status.left() + (status.width() - (6 + 4 + word)) / 2;
    l.statusDot = centredSquare(status, 6, statusLeft);
    l.status = QRect(l.statusDot.right() + 1 + 4, top, word + 1, h);

    if (process.isProtected) {
        l.lock = centredSquare(action, kButton, action.left() + (action.width() - kButton) / 2);
    } else {
        const int left = action.left() + (action.width() - (2 * kButton + 4)) / 2;
        l.throttle = centredSquare(action, kButton, left);
        l.kill = centredSquare(action, kButton, left + kButton + 4);
    }
    return l;
}

QSize ProcessRow::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return {m_view->viewport()->width(), rowHeight()};
}

void ProcessRow::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* items = static_cast<const ProcessItems*>(index.model());
    const ProcessInfoItem& process = items->item(index.row());
    const ProcessListModel::Row row = ProcessListModel::row(process);
    const Layout l = layout(process, option.rect);
    const Fonts& f = fonts();
    const QColor gray = namedColor(NamedColor::gray);

    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setRenderHint(QPainter::TextAntialiasing);
    if (row.highlighted) p->fillRect(option.rect.adjusted(0, 0, 0, -1), withOpacity(namedColor(NamedColor::red), 0.05));
    // Figures fit their fixed columns; the cell clips what would not.
    auto text = [&](const QRect& r, const QFont& font, const QColor& color, Qt::Alignment align, const QString& s) {
        p->setFont(font);
        p->setPen(color);
        p->drawText(r, align | Qt::AlignVCenter | Qt::TextSingleLine, s);
    };
    text(l.pid, f.pid, gray, Qt::AlignLeft, row.pidText);
    if (!l.shield.isEmpty()) paintSymbol(*p, l.shield, 9, QStringLiteral("lock.shield.fill"), namedColor(NamedColor::blue));
    // A long name is cut with an ellipsis rather than running into the figures.
    // The dashboard hands its palette's emphasised text down as the bright-text role.
    text(l.name, f.name, option.palette.color(QPalette::BrightText), Qt::AlignLeft,
         QFontMetrics(f.name).elidedText(row.name, Qt::ElideRight, l.name.width()));
    text(l.cpu, f.cpu, namedColor(row.cpuColor), Qt::AlignRight, row.cpuText);
    text(l.memory, f.memory, gray, Qt::AlignRight, row.memoryText);
    const QColor statusColor = namedColor(row.statusColor);
    paintSymbol(*p, l.statusDot, 6, QStringLiteral("circle.fill"), statusColor);
    text(l.status, f.status, statusColor, Qt::AlignLeft, row.statusText);
    if (row.hasButtons) {
        paintSymbol(*p, l.throttle, 10, QStringLiteral("tortoise.fill"), namedColor(NamedColor::orange));
        paintSymbol(*p, l.kill, 10, QStringLiteral("xmark.circle.fill"), namedColor(NamedColor::red));
    } else {
        paintSymbol(*p, l.lock, 10, QStringLiteral("lock.fill"), withOpacity(gray, 0.4));
    }
    p->restore();
}

bool ProcessRow::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: the view may be half destroyed when its viewport sends its last events.
    if ((event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease) ||
        watched != m_viewport)
        return QStyledItemDelegate::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    const auto* items = static_cast<const ProcessItems*>(m_view->model());
    const QPoint at = mouse->position().toPoint();
    if (event->type() == QEvent::MouseButtonPress) {
        m_press.reset();
        const QModelIndex index = m_view->indexAt(at);
        if (!index.isValid()) return false;
        const ProcessInfoItem& process = items->item(index.row());
        const Layout l = layout(process, m_view->visualRect(index));
        if (l.throttle.contains(at)) m_press = Press{process, Button::throttle};
        if (l.kill.contains(at)) m_press = Press{process, Button::kill};
        return false;
    }
    // The release acts on the process that was pressed, as the latest sample has it, if it is
    // still listed and the pointer is still over the list (the row may have moved meanwhile).
    const std::optional<Press> press = std::exchange(m_press, std::nullopt);
    if (!press) return false;
    const int row = items->rowOf(press->process);
    if (row < 0 || !m_view->viewport()->rect().contains(at)) return false;
    const ProcessInfoItem current = items->item(row);
    if (press->button == Button::throttle)
        (void)m_actions.throttle(current);
    else
        (void)m_actions.kill(current);
    return false;
}

bool ProcessRow::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                           const QModelIndex& index)
{
    if (!index.isValid()) return false;
    const auto* items = static_cast<const ProcessItems*>(index.model());
    const Layout l = layout(items->item(index.row()), option.rect);
    QString tip;
    if (l.throttle.contains(event->pos())) tip = ProcessListModel::throttleHelp;
    if (l.kill.contains(event->pos())) tip = ProcessListModel::killHelp;
    if (tip.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), tip, view);
    return true;
}
