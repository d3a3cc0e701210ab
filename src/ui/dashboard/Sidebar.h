#pragma once

#include "ui/dashboard/DashboardEnvironment.h"
#include "ui/dashboard/DashboardTab.h"

#include <QList>
#include <QWidget>

class IconTextRow;
class ProfileLabelView;
class SidebarButton;
class TextView;
class VRAXConnectedBadge;

// The dashboard's left column, always on "#18181c" whatever the palette: the application mark
// and name, the remote-control badge, the profile pill, one button per tab, the monitoring
// status and the maker's line.
class Sidebar : public QWidget {
    Q_OBJECT
public:
    static inline const QString backgroundHex = QStringLiteral("#18181c");

    explicit Sidebar(const DashboardEnvironment& env, QWidget* parent = nullptr);

    // Marks `tab` as the selected one.
    void setSelectedTab(DashboardTab tab);
    // Reads the managers and shows what they publish now.
    void refresh();

    const QList<SidebarButton*>& buttons() const { return m_buttons; }
    SidebarButton* button(DashboardTab tab) const;
    VRAXConnectedBadge* vraxBadge() const { return m_vrax; }
    ProfileLabelView* profilePill() const { return m_pill; }
    IconTextRow* monitoringRow() const { return m_monitoring; }
    TextView* personalityRow() const { return m_personality; }
    TextView* actionsRow() const { return m_actions; }
    SidebarButton* quitButton() const { return m_quit; }

Q_SIGNALS:
    void tabClicked(DashboardTab tab);
    void quitClicked();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    DashboardEnvironment m_env;
    DashboardTab m_selected = DashboardTab::overview;
    QList<SidebarButton*> m_buttons;
    VRAXConnectedBadge* m_vrax;
    ProfileLabelView* m_pill;
    IconTextRow* m_monitoring;
    TextView* m_personality;
    TextView* m_actions;
    TextView* m_maker;
    SidebarButton* m_quit;
};
