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
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    SettingsSection m_section;
    ThemeManager& m_themes;
    bool m_selected = false;
};

// The whole settings window: the sidebar of the fourteen pages and the scrolling page of the
// selected one. Each view starts on Profiles with its own page state; it shares only the stores
// and managers of its environment. Always dark, whatever the desktop's scheme.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize minimumWindowSize{650, 450};
    static constexpr int sidebarWidth = 180;

    explicit SettingsView(const SettingsEnvironment& env, QWidget* parent = nullptr);
    ~SettingsView() override;

    SettingsSection selectedSection() const { return m_selected; }
    void selectSection(SettingsSection section);

    SettingsSidebarRow* sidebarRow(SettingsSection section) const { return m_rows.value(section); }
    QWidget* sidebar() const { return m_sidebar; }
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
    QWidget* makePage(SettingsSection section);
    void applyColorScheme();
    void updateHeader();

    SettingsEnvironment m_env;
    SettingsViewState m_state;
    SettingsSection m_selected = SettingsSection::profiles;
    QWidget* m_sidebar = nullptr;
    QMap<SettingsSection, SettingsSidebarRow*> m_rows;
    VRAXConnectedBadge* m_badge = nullptr;
    QLabel* m_version = nullptr;
    QScrollArea* m_detail = nullptr;
    QVBoxLayout* m_detailStack = nullptr;
    QPointer<QWidget> m_page;
};
