#include "ui/dashboard/HistoryTab.h"

#include "monitoring/PerformanceMonitor.h"
#include "ui/dashboard/ActionHistoryModel.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QListView>
#include <QVBoxLayout>

HistoryTab::HistoryTab(const DashboardEnvironment& env, QWidget* parent) : QWidget(parent), m_env(env)
{
    setObjectName(QStringLiteral("historyTab"));
    ThemeManager& themes = env.themeManager;
    const QColor gray = namedColor(NamedColor::gray);
    auto* tab = new QVBoxLayout(this);
    tab->setContentsMargins(0, 0, 0, 0);
    tab->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    m_title = new TextView(QStringLiteral("ACTION HISTORY"),
                           DashboardStyle::tracked(DashboardStyle::mono(11, QFont::Bold), 1.5),
                           themes.current().accent, this);
    m_count = new TextView(QString(), DashboardStyle::font(11), gray, this);
    header->addWidget(m_title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_count, 0, Qt::AlignVCenter);
    tab->addLayout(header);
    tab->addWidget(new Divider(themes, Qt::Horizontal, 1.0, this));

    m_empty = new QWidget(this);
    auto* emptyColumn = new QVBoxLayout(m_empty);
    emptyColumn->setSpacing(12);
    emptyColumn->addStretch(1);
    emptyColumn->addWidget(new SymbolView(ActionHistoryModel::emptySymbol, 40, withOpacity(gray, 0.4), m_empty), 0,
                           Qt::AlignHCenter);
    emptyColumn->addWidget(new TextView(ActionHistoryModel::emptyTitle, DashboardStyle::font(14), gray, m_empty), 0,
                           Qt::AlignHCenter);
    emptyColumn->addWidget(new TextView(ActionHistoryModel::emptyHint, DashboardStyle::font(12),
                                        withOpacity(gray, 0.6), m_empty),
                           0, Qt::AlignHCenter);
    emptyColumn->addStretch(1);
    tab->addWidget(m_empty, 1);

    m_list = DashboardStyle::recordListView(this);
    m_list->setObjectName(QStringLiteral("historyList"));
    // The first rows are measured and painted at once, the rest of a long history in later
    // turns of the event loop, so opening the tab never waits for all 500.
    m_list->setLayoutMode(QListView::Batched);
    m_list->setBatchSize(60);
    m_items = makeActionHistoryItems(this);
    m_rows = new ActionHistoryRow(themes, m_list);
    m_list->setItemDelegate(m_rows);
    m_list->setModel(m_items);
    tab->addWidget(m_list, 1);

    connect(&env.monitor, &PerformanceMonitor::actionHistoryChanged, this, [this] { scheduleRefresh(); });
    connect(&themes, &ThemeManager::currentChanged, this, [this] {
        m_title->setColor(m_env.themeManager.current().accent);
        m_list->viewport()->update();
    });
    refresh();
}

void HistoryTab::scheduleRefresh()
{
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

void HistoryTab::refresh()
{
    m_refreshQueued = false;
    const QList<ActionRecord>& history = m_env.monitor.actionHistory();
    m_count->setText(ActionHistoryModel::countText(history.size()));
    m_empty->setVisible(history.isEmpty());
    m_list->setVisible(!history.isEmpty());
    m_items->sync(history);
}
