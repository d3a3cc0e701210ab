#include "ui/dashboard/ActionHistoryRow.h"

#include "ui/dashboard/ActionHistoryModel.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TagView.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/theme/PaletteTheme.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

ActionHistoryRow::ActionHistoryRow(const ActionRecord& action, ThemeManager& themes, QWidget* parent)
    : QWidget(parent), m_action(action)
{
    const ActionHistoryModel::Row row = ActionHistoryModel::row(action, QLocale::system());
    const QColor gray = namedColor(NamedColor::gray);

    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(16, 8, 16, 8);
    line->setSpacing(12);

    m_icon = new SymbolView(row.style.symbol, 14, namedColor(row.style.color), this);
    m_icon->setFixedWidth(24);
    line->addWidget(m_icon, 0, Qt::AlignVCenter);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(6);
    m_title = new TextView(row.title, DashboardStyle::font(12, QFont::DemiBold), namedColor(NamedColor::white), this);
    titleLine->addWidget(m_title, 0, Qt::AlignVCenter);
    if (row.showsAutoTag) {
        m_tag = new TagView(themes, QStringLiteral("AUTO"), this);
        titleLine->addWidget(m_tag, 0, Qt::AlignVCenter);
    }
    titleLine->addStretch(1);
    titleBlock->addLayout(titleLine);
    m_subtitle = new WrappedTextView(row.subtitle, DashboardStyle::font(11), gray, 2, this);
    titleBlock->addWidget(m_subtitle);
    line->addLayout(titleBlock, 1);

    auto* timeBlock = new QVBoxLayout;
    timeBlock->setSpacing(2);
    m_time = new TextView(row.timeText, DashboardStyle::mono(10), gray, this);
    m_date = new TextView(row.dateText, DashboardStyle::font(9), withOpacity(gray, 0.6), this);
    m_time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_date->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeBlock->addWidget(m_time, 0, Qt::AlignRight);
    timeBlock->addWidget(m_date, 0, Qt::AlignRight);
    line->addLayout(timeBlock);
}
