#pragma once

#include "ui/dashboard/DashboardEnvironment.h"
#include "ui/dashboard/DashboardTab.h"

#include <QPointer>
#include <QWidget>

class Divider;
class Sidebar;
class QVBoxLayout;

// The dashboard window's content: the sidebar, a divider and the selected tab's view. Only the
// selected tab's view exists; choosing another tab discards it with everything it held, except
// the chat's conversation, which belongs to the application (see TavrilonTabDeps).
class DetailedView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize defaultWindowSize{1100, 750};
    static constexpr QSize minimumWindowSize{1000, 700};

    explicit DetailedView(const DashboardEnvironment& env, QWidget* parent = nullptr);

    DashboardTab selectedTab() const { return m_selected; }
    // The only way the selection changes; choosing the selected tab again changes nothing.
    void selectTab(DashboardTab tab);

    Sidebar* sidebar() const { return m_sidebar; }
    QWidget* tabView() const { return m_tabView; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    QWidget* makeTabView(DashboardTab tab);
    void applyColorScheme();

    DashboardEnvironment m_env;
    DashboardTab m_selected = DashboardTab::overview;
    Sidebar* m_sidebar;
    QVBoxLayout* m_content;
    QPointer<QWidget> m_tabView;
};
