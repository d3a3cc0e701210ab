#pragma once

#include "ui/dashboard/DashboardEnvironment.h"
#include "ui/dashboard/DashboardTab.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>

class IconTextRow;
class ProfileLabelView;
class SidebarButton;
class TextView;
class VRAXConnectedBadge;

// The sidebar's Quit: a small symbol and word in the status footer, grey like the lines beside it.
class QuitLink : public QAbstractButton {
    Q_OBJECT
public:
    explicit QuitLink(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
};

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
    QAbstractButton* quitButton() const { return m_quit; }

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
    QuitLink* m_quit;
};
