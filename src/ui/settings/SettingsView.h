#pragma once

#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsSection.h"

#include <QAbstractButton>
#include <QMap>
#include <QPointer>
#include <QWidget>

class QLabel;
class QScrollArea;
class QVBoxLayout;
class VRAXConnectedBadge;

// A sidebar row: the section's symbol and title, highlighted while selected.
class SettingsSidebarRow : public QAbstractButton {
    Q_OBJECT
public:
    SettingsSidebarRow(SettingsSection section, ThemeManager& themes, QWidget* parent = nullptr);
    SettingsSection section() const { return m_section; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    // Drawn on the palette's background (inside the dashboard) rather than on the dark sidebar.
    void setOnPalette(bool onPalette);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    SettingsSection m_section;
    ThemeManager& m_themes;
    bool m_selected = false;
    bool m_onPalette = false;
};

// The whole settings window: the sidebar of the fourteen pages and the scrolling page of the
// selected one. Each view starts on Profiles with its own page state; it shares only the stores
// and managers of its environment. Inside the dashboard, which has a sidebar and the emblem of
// its own, the pages are chosen from a row of titles above the page instead.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    enum class Placement { window, dashboardTab };

    static constexpr QSize minimumWindowSize{650, 450};
    // The sidebar is at least this wide, and wider where a title needs it.
    static constexpr int sidebarWidth = 180;

    explicit SettingsView(const SettingsEnvironment& env, QWidget* parent = nullptr);
    SettingsView(const SettingsEnvironment& env, Placement placement, QWidget* parent = nullptr);
    ~SettingsView() override;

    SettingsSection selectedSection() const { return m_selected; }
    void selectSection(SettingsSection section);

    SettingsSidebarRow* sidebarRow(SettingsSection section) const { return m_rows.value(section); }
    // The window's sidebar; null inside the dashboard.
    QWidget* sidebar() const { return m_sidebar; }
    // The row of page titles inside the dashboard; null in the window.
    QWidget* sectionStrip() const { return m_strip; }
    // The shown page (a SettingsPage, or the watcher's panel).
    QWidget* page() const { return m_page; }
    QScrollArea* detail() const { return m_detail; }
    VRAXConnectedBadge* vraxBadge() const { return m_badge; }
    QLabel* versionLine() const { return m_version; }
    const SettingsViewState& pageState() const { return m_state; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QWidget* buildSidebar();
    QWidget* buildStrip();
    QWidget* makePage(SettingsSection section);
    void applyColorScheme();
    void updateHeader();

    SettingsEnvironment m_env;
    SettingsViewState m_state;
    SettingsSection m_selected = SettingsSection::profiles;
    Placement m_placement = Placement::window;
    QWidget* m_sidebar = nullptr;
    QWidget* m_strip = nullptr;
    QMap<SettingsSection, SettingsSidebarRow*> m_rows;
    VRAXConnectedBadge* m_badge = nullptr;
    QLabel* m_version = nullptr;
    QScrollArea* m_detail = nullptr;
    QVBoxLayout* m_detailStack = nullptr;
    QPointer<QWidget> m_page;
};
