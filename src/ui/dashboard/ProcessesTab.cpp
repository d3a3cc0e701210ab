#include "ui/dashboard/ProcessesTab.h"

#include "monitoring/PerformanceMonitor.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/ProcessActions.h"
#include "ui/dashboard/ProcessListModel.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/ColorHex.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QListView>
#include <QStyle>
#include <QVBoxLayout>

ProcessesTab::ProcessesTab(const DashboardEnvironment& env, QWidget* parent) : QWidget(parent), m_env(env)
{
    setObjectName(QStringLiteral("processesTab"));
    ThemeManager& themes = env.themeManager;
    const QColor gray = namedColor(NamedColor::gray);
    m_actions = new ProcessActions(env.processes.control, env.processes.stopper, env.processes.incidents, env.monitor,
                                   env.processes.clock, this);
    auto* tab = new QVBoxLayout(this);
    tab->setContentsMargins(0, 0, 0, 0);
    tab->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    m_title = new TextView(QStringLiteral("RUNNING PROCESSES"),
                           DashboardStyle::tracked(DashboardStyle::mono(11, QFont::Bold), 1.5),
                           themes.current().accent, this);
    m_count = new TextView(QString(), DashboardStyle::font(11), gray, this);
    header->addWidget(m_title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_count, 0, Qt::AlignVCenter);
    tab->addLayout(header);

    m_columns = new QWidget(this);
    m_columns->setObjectName(QStringLiteral("processColumnHeaders"));
    m_columns->setAutoFillBackground(true);
    QPalette columnsPalette = m_columns->palette();
    columnsPalette.setColor(QPalette::Window, colorFromHex(u"#1a1a1e"));
    m_columns->setPalette(columnsPalette);
    auto* columns = new QHBoxLayout(m_columns);
    // The rows below lose the width of their always-shown scroll bar; the titles keep in line.
    columns->setContentsMargins(16, 8, 16 + style()->pixelMetric(QStyle::PM_ScrollBarExtent), 8);
    columns->setSpacing(0);
    const QFont columnFont = DashboardStyle::mono(10, QFont::Bold);
    struct Column {
        const char* title;
        int width;  // 0: takes the rest
        Qt::Alignment alignment;
    };
    for (const Column& c : {Column{"PID", 60, Qt::AlignLeft}, Column{"Process", 0, Qt::AlignLeft},
                            Column{"CPU %", 80, Qt::AlignRight}, Column{"Memory", 80, Qt::AlignRight},
                            Column{"Status", 80, Qt::AlignHCenter}, Column{"Action", 80, Qt::AlignHCenter}}) {
        auto* text = new TextView(QString::fromLatin1(c.title), columnFont, gray, m_columns);
        text->setElides(true);
        text->setAlignment(c.alignment | Qt::AlignVCenter);
        // Not the elided text's ignored policy: the box layout would stack such columns.
        if (c.width > 0) {
            text->setFixedWidth(c.width);
            text->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        } else {
            text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        }
        columns->addWidget(text, c.width > 0 ? 0 : 1);
    }
    tab->addWidget(m_columns);
    tab->addWidget(new Divider(themes, Qt::Horizontal, 1.0, this));

    m_list = DashboardStyle::recordListView(this);
    m_list->setObjectName(QStringLiteral("processList"));
    m_list->setUniformItemSizes(true);
    m_items = makeProcessItems(this);
    m_list->setItemDelegate(new ProcessRow(*m_actions, m_list));
    m_list->setModel(m_items);
    tab->addWidget(m_list, 1);

    connect(&env.monitor, &PerformanceMonitor::topProcessesChanged, this, [this] { scheduleRefresh(); });
    connect(&themes, &ThemeManager::currentChanged, this, [this] {
        m_title->setColor(m_env.themeManager.current().accent);
        m_list->viewport()->update();
    });
    refresh();
}

void ProcessesTab::scheduleRefresh()
{
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

void ProcessesTab::refresh()
{
    m_refreshQueued = false;
    const QList<ProcessInfoItem> processes = m_env.monitor.topProcesses();
    m_count->setText(ProcessListModel::countText(processes.size()));

    m_items->sync(processes);
}
