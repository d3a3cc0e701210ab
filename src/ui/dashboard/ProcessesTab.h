#pragma once

#include "ui/dashboard/DashboardEnvironment.h"
#include "ui/dashboard/ProcessRow.h"

#include <QWidget>

class ProcessActions;
class QListView;
class TextView;

// The Processes tab: the heaviest processes of the latest sample with their throttle and kill
// buttons. Each published list updates the rows in place, keyed by process; the buttons never
// change the list themselves.
class ProcessesTab : public QWidget {
    Q_OBJECT
public:
    explicit ProcessesTab(const DashboardEnvironment& env, QWidget* parent = nullptr);

    void refresh();

    TextView* titleText() const { return m_title; }
    TextView* countText() const { return m_count; }
    QWidget* columnHeaders() const { return m_columns; }
    QListView* list() const { return m_list; }
    const ProcessItems& items() const { return *m_items; }

private:
    void scheduleRefresh();

    DashboardEnvironment m_env;
    ProcessActions* m_actions;
    bool m_refreshQueued = false;
    TextView* m_title;
    TextView* m_count;
    QWidget* m_columns;
    QListView* m_list;
    ProcessItems* m_items;
};
