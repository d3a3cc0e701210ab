#pragma once

#include "core/Lifecycle.h"
#include "ui/shell/StatusIcon.h"
#include "ui/shell/StatusMenu.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <optional>

class AIShieldStatus;
class AppSettings;
class BatteryMonitor;
class Clock;
class DesktopHUDController;
class PerformanceMonitor;
class PerformanceProfileManager;
class QMenu;
class QWidget;
class SnoozeGuardService;
class SnoozeGuardStatus;
class ThemeManager;
class UserDefaults;
class WorkGuardStatus;

struct StatusItemDeps {
    PerformanceMonitor& perf;
    BatteryMonitor& battery;
    AppSettings& settings;
    UserDefaults& defaults;
    ThemeManager& themes;
    PerformanceProfileManager& profiles;
    SnoozeGuardService& snoozeControl;
    SnoozeGuardStatus& snooze;
    AIShieldStatus& aiShield;
    WorkGuardStatus& workGuardState;
    Lifecycle& workGuard;
    DesktopHUDController& hud;
    const Clock& clock;
    // The popover's content, built once at install.
    std::function<QWidget*()> makeReadout;
    std::function<void()> openDashboard;
    std::function<void()> openSettings;
    // Shows a file selected in the file manager; opens a folder.
    std::function<void(const QString&)> revealFile;
    std::function<void(const QString&)> openFolder;
    std::function<void()> quit;
    // The recovery browser's content, made at its first opening.
    std::function<QWidget*()> makeRecoveryView;
};

// The application's face in the panel: a tray icon that draws the shield, the health score in
// its band's colour, the battery level and Snooze Guard's dot, with the title text as tooltip.
// A click toggles the popover readout; the context click (or Ctrl+click) opens the status
// menu, rebuilt from the guards' live state every time it opens.
class StatusItemController final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    static inline const QString hudShowOnLaunchKey = QStringLiteral("tavrilon.hud.showOnLaunch");
    static constexpr std::array<int, 4> iconSides = {16, 22, 32, 64};

    explicit StatusItemController(StatusItemDeps deps, QObject* parent = nullptr);
    ~StatusItemController() override;

    static StatusItemController& shared();

    void start() override { install(); }
    void install();
    // Redraws the icon and the tooltip from the published state.
    void refresh();

    // Whether the desktop shows tray icons; checked once, at install.
    bool trayAvailable() const { return m_trayAvailable; }
    bool isInstalled() const { return m_tray != nullptr; }

    StatusIconState iconState() const;
    StatusMenuState menuState() const;
    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }
    QMenu* menu() const { return m_menu.get(); }
    QWidget* popover() const { return m_popover; }
    bool isPopoverShown() const;

    // A click on the icon; `control` is whether Ctrl was held.
    void handleClick(QSystemTrayIcon::ActivationReason reason, bool control);
    void togglePopover();
    void openPopover();
    // Fills the menu anew from live state (what every opening does).
    void rebuildMenu();
    void trigger(StatusMenuRow::Action action);

    // Where the popover goes for an anchor (the icon, or the pointer) inside a screen's area:
    // beside the anchor, never over it, and no taller than the room there; a cut readout
    // scrolls, and is widened by the scroll bar.
    static QRect popoverPlacement(const QRect& anchor, const QRect& area, QSize wanted, int scrollBarWidth);

private:
    void placePopover();

    StatusItemDeps m_d;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QPointer<QWidget> m_popover;
    QPointer<QWidget> m_readout;
    QPointer<QWidget> m_recoveryWindow;
    bool m_trayAvailable = false;
    std::optional<std::pair<StatusIconState, QString>> m_drawn;  // what the icon shows, and in which palette
};
