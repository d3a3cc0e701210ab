#include "ui/dashboard/ActionHistoryRow.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/theme/PaletteTheme.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/ThemeManager.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>

#include <limits>

namespace {

constexpr int kPadH = 16;
constexpr int kPadV = 8;
constexpr int kSpacing = 12;
constexpr int kIconFrame = 24;
constexpr int kIconSize = 14;

struct Fonts {
    QFont title = DashboardStyle::font(12, QFont::DemiBold);
    QFont tag = DashboardStyle::mono(8, QFont::Bold);
    QFont subtitle = DashboardStyle::font(11);
    QFont time = DashboardStyle::mono(10);
    QFont date = DashboardStyle::font(9);
};
const Fonts& fonts()
{
    static const Fonts f;
    return f;
}

}  // namespace

ActionHistoryItems* makeActionHistoryItems(QObject* parent)
{
    return new ActionHistoryItems([](const ActionRecord& r) { return r.id; }, {}, parent);
}

ActionHistoryRow::ActionHistoryRow(ThemeManager& themes, QAbstractItemView* view)
    : QStyledItemDelegate(view), m_themes(themes), m_view(view)
{
}

ActionHistoryRow::Layout ActionHistoryRow::layout(const ActionHistoryModel::Row& row, const QRect& rect)
{
    const Fonts& f = fonts();
    const QFontMetrics title(f.title), tag(f.tag), sub(f.subtitle), time(f.time), date(f.date);
    Layout l;
    const QRect content = rect.adjusted(kPadH, kPadV, -kPadH, -kPadV - 1);
    l.divider = QRect(rect.left(), rect.bottom(), rect.width(), 1);

    const int timeWidth = std::max(time.horizontalAdvance(row.timeText), date.horizontalAdvance(row.dateText));
    const int timeHeight = time.height() + 2 + date.height();
    const int blockWidth = std::max(0, content.width() - kIconFrame - kSpacing - kSpacing - timeWidth);
    l.subtitleLines = WrappedTextView::wrap(row.subtitle, f.subtitle, blockWidth, 2);
    const int tagHeight = tag.height() + 2;
    const int titleLine = std::max(title.height(), row.showsAutoTag ? tagHeight : 0);
    const int lines = std::max<int>(1, int(l.subtitleLines.size()));
    const int blockHeight = titleLine + 2 + lines * sub.lineSpacing();

    l.icon = QRect(content.left(), content.top(), kIconFrame, content.height());
    const int blockLeft = content.left() + kIconFrame + kSpacing;
    const int blockTop = content.top() + (content.height() - blockHeight) / 2;
    const int titleWidth = std::min(title.horizontalAdvance(row.title) + 1, blockWidth);
    l.title = QRect(blockLeft, blockTop, titleWidth, titleLine);
    if (row.showsAutoTag)
        l.tag = QRect(l.title.right() + 1 + 6, blockTop + (titleLine - tagHeight) / 2,
                      tag.horizontalAdvance(QStringLiteral("AUTO")) + 8, tagHeight);
    l.subtitle = QRect(blockLeft, blockTop + titleLine + 2, blockWidth, lines * sub.lineSpacing());

    const int timeTop = content.top() + (content.height() - timeHeight) / 2;
    l.time = QRect(content.right() + 1 - timeWidth, timeTop, timeWidth, time.height());
    l.date = QRect(l.time.left(), l.time.bottom() + 1 + 2, timeWidth, date.height());
    return l;
}

ActionHistoryRow::Measure ActionHistoryRow::measure(const ActionHistoryModel::Row& row)
{
    const Fonts& f = fonts();
    const QFontMetrics time(f.time), date(f.date);
    return Measure{
        .subtitleAdvance = row.subtitle.contains(QLatin1Char('\n'))
                               ? std::numeric_limits<int>::max()
                               : QFontMetrics(f.subtitle).horizontalAdvance(row.subtitle),
        .timeWidth = std::max(time.horizontalAdvance(row.timeText), date.horizontalAdvance(row.dateText)),
        .hasTag = row.showsAutoTag,
    };
}

int ActionHistoryRow::height(const Measure& m, int width)
{
    struct Heights {
        int titleLine, tagLine, subLine, timeBlock;
    };
    static const Heights h = [] {
        const Fonts& f = fonts();
        return Heights{QFontMetrics(f.title).height(), QFontMetrics(f.tag).height() + 2,
                       QFontMetrics(f.subtitle).lineSpacing(),
                       QFontMetrics(f.time).height() + 2 + QFontMetrics(f.date).height()};
    }();
    const int blockWidth = std::max(0, width - 2 * kPadH - kIconFrame - 2 * kSpacing - m.timeWidth);
    // What does not fit one line wraps onto the second, which is the last.
    const int lines = m.subtitleAdvance <= blockWidth ? 1 : 2;
    const int titleLine = std::max(h.titleLine, m.hasTag ? h.tagLine : 0);
    const int content = std::max({titleLine + 2 + lines * h.subLine, h.timeBlock, kIconSize});
    return content + 2 * kPadV + 1;
}

int ActionHistoryRow::height(const ActionHistoryModel::Row& row, int width) { return height(measure(row), width); }

QSize ActionHistoryRow::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const auto* items = static_cast<const ActionHistoryItems*>(index.model());
    const ActionRecord& record = items->item(index.row());
    // The list asks for every row's height whenever it lays out; what a record shows never
    // changes, so it is measured once and each width is plain arithmetic.
    auto it = m_measures.constFind(record.id);
    if (it == m_measures.constEnd()) {
        if (m_measures.size() > 4 * std::max(500, items->rowCount())) m_measures.clear();
        it = m_measures.insert(record.id, measure(ActionHistoryModel::row(record, QLocale::system())));
    }
    const int width = m_view->viewport()->width();
    return {width, height(*it, width)};
}

void ActionHistoryRow::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* items = static_cast<const ActionHistoryItems*>(index.model());
    const ActionHistoryModel::Row row = ActionHistoryModel::row(items->item(index.row()), QLocale::system());
    const Layout l = layout(row, option.rect);
    const PaletteTheme& theme = m_themes.current();
    const Fonts& f = fonts();
    const QColor gray = namedColor(NamedColor::gray);

    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setRenderHint(QPainter::TextAntialiasing);
    const QRectF iconBox(0, 0, kIconSize, kIconSize);
    SymbolIcon::paint(*p, iconBox.translated(QRectF(l.icon).center() - iconBox.center()), row.style.symbol,
                      QBrush(namedColor(row.style.color)));

    p->setFont(f.title);
    p->setPen(theme.textBright);
    p->drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(f.title).elidedText(row.title, Qt::ElideRight, l.title.width()));
    if (!l.tag.isEmpty()) {
        QPainterPath plate;
        plate.addRoundedRect(QRectF(l.tag), 3, 3);
        p->fillPath(plate, withOpacity(theme.accent, 0.15));
        p->setFont(f.tag);
        p->setPen(theme.accent);
        p->drawText(l.tag, Qt::AlignCenter, QStringLiteral("AUTO"));
    }
    p->setFont(f.subtitle);
    p->setPen(gray);
    const int step = QFontMetrics(f.subtitle).lineSpacing();
    for (qsizetype i = 0; i < l.subtitleLines.size(); ++i)
        p->drawText(QRect(l.subtitle.left(), l.subtitle.top() + int(i) * step, l.subtitle.width(), step),
                    Qt::AlignLeft | Qt::AlignVCenter, l.subtitleLines[i]);
    p->setFont(f.time);
    p->drawText(l.time, Qt::AlignRight | Qt::AlignVCenter, row.timeText);
    p->setFont(f.date);
    p->setPen(withOpacity(gray, 0.6));
    p->drawText(l.date, Qt::AlignRight | Qt::AlignVCenter, row.dateText);
    p->fillRect(l.divider, withOpacity(theme.border, 0.5));
    p->restore();
}
