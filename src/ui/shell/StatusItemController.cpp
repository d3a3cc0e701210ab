#include "ui/shell/StatusItemController.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "guards/AIShieldStatus.h"
#include "guards/SnoozeGuardService.h"
#include "guards/SnoozeGuardStatus.h"
#include "guards/WorkGuardStatus.h"
#include "monitoring/BatteryMonitor.h"
#include "monitoring/PerformanceMonitor.h"
#include "optimisation/PerformanceProfileManager.h"
#include "ui/WindowFit.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/MenuReadoutView.h"
#include "ui/theme/ThemeManager.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// The tray's icon, drawn only in the sizes the tray asks for, when it asks: without a tray
// (or while it shows one size) a new score costs no drawing at all.
class StatusIconEngine final : public QIconEngine {
public:
    StatusIconEngine(const StatusIconState& state, const PaletteTheme& palette) : m_state(state), m_palette(palette) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::max(1, std::min(size.width(), size.height()));
        auto it = m_drawn.find(side);
        if (it == m_drawn.end()) it = m_drawn.insert(side, QPixmap::fromImage(renderStatusIcon(m_state, m_palette, side)));
        return *it;
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int side : StatusItemController::iconSides) sizes.append(QSize(side, side));
        return sizes;
    }
    QIconEngine* clone() const override { return new StatusIconEngine(*this); }
    QString key() const override { return QStringLiteral("veltranmoor-status"); }
    bool isNull() override { return false; }

private:
    StatusIconState m_state;
    PaletteTheme m_palette;
    QHash<int, QPixmap> m_drawn;
};

// The popover: a frameless popup that closes on a click elsewhere, like any popup. Its content
// scrolls when the screen is shorter than the readout.
QWidget* makePopover(QWidget* content)
{
    auto* popover = new QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    popover->setObjectName(QStringLiteral("StatusPopover"));
    popover->setWindowTitle(QStringLiteral("Veltranmoor"));
    auto* layout = new QVBoxLayout(popover);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(popover);
    scroll->setObjectName(QStringLiteral("StatusPopoverScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidget(content);
    layout->addWidget(scroll);
    return popover;
}

QString reasonText(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: return QStringLiteral("trigger");
    case QSystemTrayIcon::Context: return QStringLiteral("context");
    case QSystemTrayIcon::DoubleClick: return QStringLiteral("doubleClick");
    case QSystemTrayIcon::MiddleClick: return QStringLiteral("middleClick");
    case QSystemTrayIcon::Unknown: break;
    }
    return QStringLiteral("unknown");
}

}  // namespace

StatusItemController::StatusItemController(StatusItemDeps deps, QObject* parent) : QObject(parent), m_d(std::move(deps))
{
}

StatusItemController::~StatusItemController()
{
    delete m_popover;
    delete m_recoveryWindow;
}

void StatusItemController::install()
{
    if (m_tray) return;
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    if (!m_trayAvailable)
        Log::line(QStringLiteral("[StatusItem] No system tray on this desktop; the dashboard stays the way in"));

    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QStringLiteral("StatusMenu"));
    connect(m_menu.get(), &QMenu::aboutToShow, this, &StatusItemController::rebuildMenu);
    rebuildMenu();

    m_tray = std::make_unique<QSystemTrayIcon>();
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        handleClick(reason, QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier));
    });

    if (m_d.makeReadout) {
        m_readout = m_d.makeReadout();
        m_popover = makePopover(m_readout);
        // A window opened from the popover comes up in front, not under the popover.
        if (auto* readout = qobject_cast<MenuReadoutView*>(m_readout.data()))
            connect(readout, &MenuReadoutView::openingWindow, this, [this] {
                if (m_popover) m_popover->hide();
            });
    }

    refresh();
    m_tray->show();

    connect(&m_d.perf, &PerformanceMonitor::healthChanged, this, &StatusItemController::refresh);
    connect(&m_d.profiles, &PerformanceProfileManager::activeProfileChanged, this, &StatusItemController::refresh);
    connect(&m_d.battery, &BatteryMonitor::changed, this, &StatusItemController::refresh);
}

StatusIconState StatusItemController::iconState() const
{
    StatusIconState s;
    s.score = m_d.perf.currentHealth().score;
    if (m_d.battery.isAvailable()) {
        const BatteryInfo& info = m_d.battery.batteryInfo();
        s.battery = StatusIconState::Battery{int(info.level), info.isCharging};
    }
    // As the status menu says it: armed only while both watches run.
    const bool camera = m_d.snooze.cameraWatchRunning(), keys = m_d.snooze.keyWatchRunning();
    s.snooze = snoozeDot(m_d.settings.snoozeGuardEnabled(), m_d.snooze.isRunning() && (camera || keys), !camera, !keys);
    return s;
}

void StatusItemController::refresh()
{
    if (!m_tray) return;
    // The menu's texts follow the guards between openings too, so a panel that reads the menu
    // ahead of showing it has the current rows.
    rebuildMenu();
    const StatusIconState state = iconState();
    const PaletteTheme& palette = m_d.themes.current();
    // Samples arrive every few seconds and mostly change nothing the icon shows.
    if (m_drawn && m_drawn->first == state && m_drawn->second == palette.id) return;
    m_drawn = {state, palette.id};
    m_tray->setIcon(QIcon(new StatusIconEngine(state, palette)));
    m_tray->setToolTip(QStringLiteral("Veltranmoor AI \u2014") + statusTitle(state));
}

StatusMenuState StatusItemController::menuState() const
{
    StatusMenuState s;
    s.snoozeGuardEnabled = m_d.settings.snoozeGuardEnabled();
    s.snoozeRunning = m_d.snooze.isRunning();
    s.cameraDenied = m_d.snooze.cameraPermissionDenied();
    s.accessibilityDenied = m_d.snooze.accessibilityPermissionDenied();
    s.cameraRunning = m_d.snooze.cameraWatchRunning();
    s.keyWatchRunning = m_d.snooze.keyWatchRunning();
    s.cameraFailure = m_d.snooze.cameraFailure();
    for (const auto& p : m_d.aiShield.processes()) s.aiProcesses.append({p.id, p.name});
    s.lastSuspiciousEvent = m_d.aiShield.lastSuspiciousEvent();
    s.totalSnapshots = m_d.workGuardState.totalSnapshots();
    s.lastSweepAt = m_d.workGuardState.lastSweepAt();
    s.lastTrigger = m_d.workGuardState.lastTrigger();
    s.workGuardNotice = m_d.workGuardState.storeNotice();
    for (const auto& f : m_d.workGuardState.lastRanked()) s.lastRanked.append({f.id, f.score});
    s.hudVisible = m_d.hud.isPanelVisible();
    s.now = m_d.clock.now();
    return s;
}

void StatusItemController::rebuildMenu()
{
    if (!m_menu) return;
    QPointer<StatusItemController> self(this);
    fillStatusMenu(*m_menu, statusMenuLayout(menuState()), [self](StatusMenuRow::Action action) {
        // Queued: an action may close windows or quit, which must not happen inside the menu's
        // own signal.
        if (self) QMetaObject::invokeMethod(self, [self, action] { if (self) self->trigger(action); }, Qt::QueuedConnection);
    });
}

bool StatusItemController::isPopoverShown() const { return m_popover && m_popover->isVisible(); }

void StatusItemController::handleClick(QSystemTrayIcon::ActivationReason reason, bool control)
{
    const bool isRight = reason == QSystemTrayIcon::Context || (reason == QSystemTrayIcon::Trigger && control);
    Log::line(QStringLiteral("[StatusItem] click eventType=") + reasonText(reason) + QStringLiteral(" isRight=") +
              (isRight ? QStringLiteral("true") : QStringLiteral("false")));
    if (reason == QSystemTrayIcon::Context) return;  // the tray opens the context menu itself
    if (isRight) {
        m_menu->popup(QCursor::pos());
        return;
    }
    if (reason == QSystemTrayIcon::Trigger) togglePopover();
}

void StatusItemController::togglePopover()
{
    if (isPopoverShown()) {
        m_popover->hide();
        return;
    }
    openPopover();
}

void StatusItemController::openPopover()
{
    if (!m_popover || m_popover->isVisible()) return;
    placePopover();
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
}

QRect StatusItemController::popoverPlacement(const QRect& anchor, const QRect& area, QSize wanted, int scrollBarWidth)
{
    // Below the anchor (the icon, or the pointer), or above it when there is more room there; as
    // tall as the room allows, scrolling the rest; never over the anchor.
    constexpr int gap = 2;
    const int below = area.bottom() - (anchor.bottom() + gap);
    const int above = (anchor.top() - gap) - area.top();
    const bool downwards = wanted.height() <= below || below >= above;
    const int room = std::max(1, downwards ? below : above);
    QSize size = wanted;
    if (size.height() > room) {
        size.setHeight(room);
        size.setWidth(size.width() + scrollBarWidth);
    }
    size.setWidth(std::min(size.width(), area.width()));
    const int y = downwards ? anchor.bottom() + gap + 1 : anchor.top() - gap - size.height();
    int x = anchor.center().x() - size.width() / 2;
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    return QRect(QPoint(x, y), size);
}

void StatusItemController::placePopover()
{
    const QRect icon = m_tray ? m_tray->geometry() : QRect();
    const QRect anchor = icon.isValid() ? icon : QRect(QCursor::pos(), QSize(1, 1));
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), QSize(1024, 768));
    const QSize wanted = m_readout ? m_readout->sizeHint() : m_popover->sizeHint();
    auto* scroll = m_popover->findChild<QScrollArea*>(QStringLiteral("StatusPopoverScroll"));
    const int bar = scroll ? scroll->verticalScrollBar()->sizeHint().width() : 0;
    const QRect placed = popoverPlacement(anchor, area, wanted, bar);
    m_popover->resize(placed.size());
    m_popover->move(placed.topLeft());
}

void StatusItemController::trigger(StatusMenuRow::Action action)
{
    using A = StatusMenuRow::Action;
    switch (action) {
    case A::none: return;
    case A::testSnoozeAlert: m_d.snooze.showAlert(QStringLiteral("TEST \u2014 Snooze Guard is alive"), 0); return;
    case A::restartSnooze:
        m_d.snoozeControl.stopDrowsinessDetector();
        m_d.snoozeControl.stopStuckKeyWatcher();
        m_d.snoozeControl.dismissAlert();
        m_d.snoozeControl.setIsRunning(false);
        m_d.snoozeControl.start();
        refresh();
        return;
    case A::revealShieldLog:
        if (m_d.revealFile) m_d.revealFile(m_d.aiShield.logPath());
        return;
    case A::revealSnapshots:
        if (m_d.openFolder) m_d.openFolder(m_d.workGuardState.snapshotsRoot());
        return;
    case A::openRecoveryBrowser: {
        // One window for the session: closing hides it, the next opening shows it again.
        QPointer<QWidget>& window = m_recoveryWindow;
        if (!window && m_d.makeRecoveryView) {
            window = m_d.makeRecoveryView();
            WindowFit::fit(*window, window->size(), window->minimumSize());
        }
        if (!window) {
            window = new QWidget;
            window->setWindowTitle(QStringLiteral("Work Guard \u2014 Recovery"));
            WindowFit::fit(*window, QSize(900, 560), QSize());
            auto* layout = new QVBoxLayout(window);
            auto* label = new QLabel(QStringLiteral("Snapshots are kept in ") + m_d.workGuardState.snapshotsRoot(), window);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            layout->addWidget(label, 0, Qt::AlignCenter);
        }
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->show();
        window->raise();
        window->activateWindow();
        return;
    }
    case A::workGuardSweepNow:
        m_d.workGuard.stop();
        m_d.workGuard.start();
        return;
    case A::toggleDesktopHUD:
        m_d.hud.toggle();
        m_d.defaults.setBool(hudShowOnLaunchKey, m_d.hud.isPanelVisible());
        return;
    case A::openDashboard:
        if (m_d.openDashboard) m_d.openDashboard();
        return;
    case A::openSettings:
        if (m_d.openSettings) m_d.openSettings();
        return;
    case A::quit:
        if (m_d.quit) m_d.quit();
        return;
    }
}
