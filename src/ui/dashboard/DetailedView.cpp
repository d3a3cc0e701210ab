#include "ui/dashboard/DetailedView.h"

#include "ui/dashboard/AIInsightsTab.h"
#include "ui/chat/TavrilonChatView.h"

#include "ui/dashboard/Divider.h"
#include "ui/dashboard/BatteryTab.h"
#include "ui/dashboard/DiskCleanerView.h"
#include "ui/dashboard/HistoryTab.h"
#include "ui/dashboard/NetworkTab.h"
#include "ui/dashboard/OverviewTab.h"
#include "ui/dashboard/PendingTabView.h"
#include "ui/settings/TavrilonWatcherSettingsPanel.h"
#include "ui/dashboard/ProcessesTab.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/settings/SettingsView.h"
#include "ui/dashboard/maintenance/MaintenanceView.h"
#include "ui/theme/ColorHex.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

DetailedView::DetailedView(const DashboardEnvironment& env, QWidget* parent) : QWidget(parent), m_env(env)
{
    setObjectName(QStringLiteral("detailedView"));
    setMinimumSize(minimumWindowSize);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_sidebar = new Sidebar(env, this);
    // On a short screen the sidebar scrolls, so every tab stays within reach.
    auto* sideScroll = new QScrollArea(this);
    sideScroll->setObjectName(QStringLiteral("sidebarScroll"));
    sideScroll->setFrameShape(QFrame::NoFrame);
    sideScroll->setWidgetResizable(true);
    sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sideScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    sideScroll->setFixedWidth(m_sidebar->width());
    m_sidebar->setMinimumWidth(0);
    QPalette sidePalette = sideScroll->palette();
    sidePalette.setColor(QPalette::Window, colorFromHex(Sidebar::backgroundHex));
    sideScroll->setPalette(sidePalette);
    sideScroll->viewport()->setPalette(sidePalette);
    sideScroll->viewport()->setAutoFillBackground(true);
    sideScroll->setWidget(m_sidebar);
    row->addWidget(sideScroll);
    row->addWidget(new Divider(env.themeManager, Qt::Vertical, 1.0, this));
    auto* host = new QWidget(this);
    host->setObjectName(QStringLiteral("tabHost"));
    m_content = new QVBoxLayout(host);
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(0);
    row->addWidget(host, 1);

    connect(m_sidebar, &Sidebar::tabClicked, this, &DetailedView::selectTab);
    connect(m_sidebar, &Sidebar::quitClicked, this, [this] {
        // After the click has been handled: quitting closes this window.
        if (m_env.quit) QMetaObject::invokeMethod(this, m_env.quit, Qt::QueuedConnection);
    });
    connect(&env.themeManager, &ThemeManager::currentChanged, this, [this] {
        applyColorScheme();
        update();
    });
    applyColorScheme();
    m_tabView = makeTabView(m_selected);
    m_content->addWidget(m_tabView);
    m_sidebar->setSelectedTab(m_selected);
}

void DetailedView::selectTab(DashboardTab tab)
{
    if (tab == m_selected && m_tabView) return;
    m_selected = tab;
    // The old view goes first, so two tab views never exist at once.
    delete m_tabView;
    m_tabView = makeTabView(tab);
    m_content->addWidget(m_tabView);
    m_sidebar->setSelectedTab(tab);
    // Showing the chat means talking to it: what is typed next goes to its input, not to the
    // sidebar button (where Space would switch tabs again).
    auto* chat = qobject_cast<TavrilonChatView*>(m_tabView);
    if (!chat) chat = m_tabView->findChild<TavrilonChatView*>();
    if (chat && chat->input()) chat->input()->setFocus(Qt::OtherFocusReason);
}

QWidget* DetailedView::makeTabView(DashboardTab tab)
{
    auto scrolled = [this](QWidget* content) {
        auto* scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroll->viewport()->setAutoFillBackground(false);
        content->setAutoFillBackground(false);
        scroll->setWidget(content);
        return scroll;
    };
    QWidget* view = nullptr;
    switch (tab) {
    case DashboardTab::overview: view = scrolled(new OverviewTab(m_env)); break;
    case DashboardTab::tavrilon: view = makeTavrilonTab(m_env.tavrilon, nullptr); break;
    case DashboardTab::aiInsights: view = scrolled(new AIInsightsTab(m_env)); break;
    // These two scroll their own lists.
    case DashboardTab::processes: view = new ProcessesTab(m_env); break;
    case DashboardTab::history: view = new HistoryTab(m_env); break;
    case DashboardTab::network:
        view = scrolled(new NetworkTab(m_env.networkMonitor, m_env.settings, m_env.themeManager));
        break;
    case DashboardTab::battery: view = scrolled(new BatteryTab(m_env.batteryMonitor, m_env.themeManager)); break;
    case DashboardTab::disk:
        if (m_env.diskCleaner) {
            view = new DiskCleanerView(*m_env.diskCleaner, m_env.monitor, m_env.epitopes, m_env.themeManager);
            break;
        }
        view = new PendingTabView(m_env.themeManager, tab);
        break;
    case DashboardTab::settings:
        // A settings view of its own: it starts on Profiles and keeps its own page state. Without
        // one (a dashboard built alone), the watchers' panel stands in.
        if (m_env.settingsView) {
            view = new SettingsView(*m_env.settingsView, SettingsView::Placement::dashboardTab);
            break;
        }
        if (m_env.watcher) {
            view = new TavrilonWatcherSettingsPanel(m_env.settings, *m_env.watcher);
            break;
        }
        [[fallthrough]];
    case DashboardTab::maintenance:
        if (tab == DashboardTab::maintenance && m_env.maintenanceTools) {
            view = new MaintenanceView(*m_env.maintenanceTools, m_env.themeManager, m_env.processes.clock);
            break;
        }
        [[fallthrough]];
    default: view = new PendingTabView(m_env.themeManager, tab); break;
    }
    view->setProperty("dashboardTab", DashboardTabs::rawValue(tab));
    return view;
}

void DetailedView::applyColorScheme()
{
    // The dashboard follows its palette whatever the desktop's scheme; its own views paint with
    // the palette, standard controls (scroll bars, the chat's input) take these.
    const PaletteTheme& theme = m_env.themeManager.current();
    QPalette pal = palette();
    pal.setColor(QPalette::Window, theme.background);
    pal.setColor(QPalette::WindowText, theme.text);
    pal.setColor(QPalette::Base, theme.surface);
    pal.setColor(QPalette::AlternateBase, theme.surfaceElevated);
    pal.setColor(QPalette::Text, theme.text);
    pal.setColor(QPalette::BrightText, theme.textBright);
    pal.setColor(QPalette::Button, theme.surface);
    pal.setColor(QPalette::ButtonText, theme.text);
    pal.setColor(QPalette::Highlight, theme.accent);
    pal.setColor(QPalette::HighlightedText, readableOn(theme.accent, theme.textBright, theme.background));
    pal.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    pal.setColor(QPalette::Light, theme.border);
    pal.setColor(QPalette::Mid, theme.border);
    pal.setColor(QPalette::Dark, theme.background);
    setPalette(pal);
}

void DetailedView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), m_env.themeManager.current().background);
}

void DetailedView::showEvent(QShowEvent*)
{
    // The stored palette choice is applied whenever the dashboard appears.
    QPointer<ThemeManager> themes(&m_env.themeManager);
    QMetaObject::invokeMethod(this, [themes] {
        if (themes) themes->applySavedTheme();
    }, Qt::QueuedConnection);
}
