#include "ui/dashboard/HistoryTab.h"

#include "monitoring/PerformanceMonitor.h"
#include "ui/dashboard/ActionHistoryModel.h"
#include "ui/dashboard/ActionHistoryRow.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QScrollArea>
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

    m_scroll = DashboardStyle::recordListScroll(this);
    tab->addWidget(m_scroll, 1);

    connect(&env.monitor, &PerformanceMonitor::actionHistoryChanged, this, [this] { scheduleRefresh(); });
    connect(&themes, &ThemeManager::currentChanged, this, [this] { scheduleRefresh(); });
    refresh();
}

QList<ActionHistoryRow*> HistoryTab::rows() const
{
    if (!m_listContent) return {};
    return m_listContent->findChildren<ActionHistoryRow*>(Qt::FindDirectChildrenOnly);
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
    ThemeManager& themes = m_env.themeManager;
    const QList<ActionRecord>& history = m_env.monitor.actionHistory();
    m_title->setColor(themes.current().accent);
    m_count->setText(ActionHistoryModel::countText(history.size()));
    m_empty->setVisible(history.isEmpty());
    m_scroll->setVisible(!history.isEmpty());

    // Rows keep their record; the list is rebuilt only when the records themselves changed.
    QList<QUuid> shown;
    for (ActionHistoryRow* row : rows()) shown << row->action().id;
    QList<QUuid> wanted;
    for (const ActionRecord& r : history) wanted << r.id;
    if (shown == wanted && m_listContent) return;

    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (const ActionRecord& record : history) {
        column->addWidget(new ActionHistoryRow(record, themes, content));
        column->addWidget(new Divider(themes, Qt::Horizontal, 0.5, content));
    }
    column->addStretch(1);
    m_scroll->setWidget(content);  // deletes the previous list
    m_listContent = content;
}
