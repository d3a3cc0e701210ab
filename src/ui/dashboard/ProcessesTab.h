#pragma once

#include "ui/dashboard/DashboardEnvironment.h"

#include <QList>
#include <QWidget>

class ProcessActions;
class ProcessRow;
class QScrollArea;
class TextView;

// The Processes tab: the heaviest processes of the latest sample with their throttle and kill
// buttons. The rows follow each published list; the buttons never change the list themselves.
class ProcessesTab : public QWidget {
    Q_OBJECT
public:
    explicit ProcessesTab(const DashboardEnvironment& env, QWidget* parent = nullptr);

    void refresh();

    TextView* titleText() const { return m_title; }
    TextView* countText() const { return m_count; }
    QWidget* columnHeaders() const { return m_columns; }
    QScrollArea* list() const { return m_scroll; }
    QList<ProcessRow*> rows() const;

private:
    void scheduleRefresh();

    DashboardEnvironment m_env;
    ProcessActions* m_actions;
    bool m_refreshQueued = false;
    TextView* m_title;
    TextView* m_count;
    QWidget* m_columns;
    QScrollArea* m_scroll;
    QWidget* m_listContent = nullptr;
};
