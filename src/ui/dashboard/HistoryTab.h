#pragma once

#include "ui/dashboard/ActionHistoryRow.h"
#include "ui/dashboard/DashboardEnvironment.h"

#include <QWidget>

class QListView;
class TextView;

// The History tab: every recorded action, newest first, or a centred note while there is none.
// Its list follows the published history row by row (a new record is one inserted row), once
// the current event is done; only the rows in view are painted.
class HistoryTab : public QWidget {
    Q_OBJECT
public:
    explicit HistoryTab(const DashboardEnvironment& env, QWidget* parent = nullptr);

    void refresh();

    TextView* titleText() const { return m_title; }
    TextView* countText() const { return m_count; }
    // Visible while the history is empty.
    QWidget* emptyState() const { return m_empty; }
    QListView* list() const { return m_list; }
    const ActionHistoryItems& items() const { return *m_items; }
    ActionHistoryRow* rowDelegate() const { return m_rows; }

private:
    void scheduleRefresh();

    DashboardEnvironment m_env;
    bool m_refreshQueued = false;
    TextView* m_title;
    TextView* m_count;
    QWidget* m_empty;
    QListView* m_list;
    ActionHistoryItems* m_items;
    ActionHistoryRow* m_rows;
};
