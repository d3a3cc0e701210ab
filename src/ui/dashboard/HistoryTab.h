#pragma once

#include "ui/dashboard/DashboardEnvironment.h"

#include <QList>
#include <QWidget>

class ActionHistoryRow;
class QScrollArea;
class TextView;

// The History tab: every recorded action, newest first, or a centred note while there is none.
// It keeps nothing: whenever the history or the palette changes it reads the monitor again once
// the current event is done.
class HistoryTab : public QWidget {
    Q_OBJECT
public:
    explicit HistoryTab(const DashboardEnvironment& env, QWidget* parent = nullptr);

    void refresh();

    TextView* titleText() const { return m_title; }
    TextView* countText() const { return m_count; }
    // Visible while the history is empty.
    QWidget* emptyState() const { return m_empty; }
    QScrollArea* list() const { return m_scroll; }
    QList<ActionHistoryRow*> rows() const;

private:
    void scheduleRefresh();

    DashboardEnvironment m_env;
    bool m_refreshQueued = false;
    TextView* m_title;
    TextView* m_count;
    QWidget* m_empty;
    QScrollArea* m_scroll;
    QWidget* m_listContent = nullptr;
};
