// The status item over the real tray protocol: a StatusNotifierWatcher on this process's own
// session bus (as a panel provides it), the item registering with it, its tooltip and icon
// following the score, its menu exported as com.canonical.dbusmenu with the status menu's rows,
// and Activate opening the popover. Screenshots of the popover and the menu under a dark and a
// light palette go to build/screenshots/.
#include "VirtualDisplay.h"

#include "../ui/DashboardRig.h"
#include "guards/AIShieldStatus.h"
#include "../guards/SnoozeDoubles.h"
#include "guards/SnoozeGuard.h"
#include "guards/WorkGuard.h"
#include "support/InlineExecutor.h"
#include "monitoring/GPUMonitor.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/MenuReadoutView.h"
#include "ui/shell/QuickOptimizer.h"
#include "actions/OutcomeHarness.h"
#include "ui/shell/StatusIcon.h"
#include "ui/shell/StatusItemController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

using namespace dashboard_rig;

namespace {


}  // namespace

// The panel's side of the protocol: items register here; a host is always present. It answers
// on a thread of its own, as a panel in another process would: Qt asks it with blocking calls.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_registered;
    }
    QString sender() const
    {
        QMutexLocker lock(&m_mutex);
        return m_sender;
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        QMutexLocker lock(&m_mutex);
        m_sender = message.service();
        m_registered << service;
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable QMutex m_mutex;
    QStringList m_registered;
    QString m_sender;
};

namespace {

QString screenshotDir()
{
    const QString dir = QStringLiteral(VELTRANMOOR_SCREENSHOTS);
    QDir().mkpath(dir);
    return dir;
}

// AI Shield as the menu reads it, with no AI process running.
struct IdleAIShield final : AIShieldStatus {
    QList<AIProcessInfo> processes() const override { return {}; }
    std::optional<QString> lastSuspiciousEvent() const override { return std::nullopt; }
    QString logPath() const override { return QStringLiteral("/data/ai-shield.log"); }
};

struct TrayRig {
    QDBusConnection watcherBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
    FakeWatcher watcher;
    Rig rig;
    ScriptedSnoozeWatcher drowsiness;
    ScriptedSnoozeWatcher stuckKey;
    RecordingAlert alert;
    SnoozeGuard snooze{rig.clock, rig.settings, drowsiness, stuckKey, alert};
    IdleAIShield aiShield;
    WorkGuard workGuard{{.clock = rig.clock, .scheduler = rig.scheduler}};
    DesktopHUDController hud{DesktopHUDDeps{.defaults = rig.defaults}};
    QStringList calls;
    QuickOptimizer optimizer{{.gate = rig.gate,
                              .history = rig.monitor,
                              .scheduler = rig.scheduler,
                              .worker = rig.executor,
                              .cleanCaches = [] { return QStringLiteral("Nothing safe to clean right now."); },
                              .relieveMemory = [] { return QString(); }}};
    std::unique_ptr<StatusItemController> controller;

    QThread watcherThread;

    explicit TrayRig(bool withWatcher = true)
    {
        watcher.moveToThread(&watcherThread);
        watcherThread.start();
        if (withWatcher) {
            watcherBus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                      QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
            watcherBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        }
    }
    ~TrayRig()
    {
        watcherBus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
        watcherThread.quit();
        watcherThread.wait();
    }

    void install()
    {
        controller = std::make_unique<StatusItemController>(StatusItemDeps{
            .perf = rig.monitor,
            .battery = rig.battery,
            .settings = rig.settings,
            .defaults = rig.defaults,
            .themes = rig.themes,
            .profiles = rig.profiles,
            .snoozeControl = snooze,
            .snooze = snooze,
            .aiShield = aiShield,
            .workGuardState = workGuard,
            .workGuard = workGuard,
            .hud = hud,
            .clock = rig.clock,
            .makeReadout =
                [this]() -> QWidget* {
                    return new MenuReadoutView(MenuReadoutDeps{.perf = rig.monitor,
                                                               .net = rig.network,
                                                               .gpu = nullptr,
                                                               .themes = rig.themes,
                                                               .profiles = rig.profiles,
                                                               .settings = rig.settings,
                                                               .optimizer = optimizer,
                                                               .openDashboard = {},
                                                               .openSettings = {}});
                },
            .openDashboard = [this] { calls << QStringLiteral("dashboard"); },
            .revealFile = {},
            .openFolder = {},
            .quit = [this] { calls << QStringLiteral("quit"); },
        });
        controller->install();
    }

    // A call from the panel's side, answered while this thread's loop runs.
    QDBusMessage call(const QString& path, const QString& interface, const QString& method, const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(watcher.sender(), path, interface, method);
        m.setArguments(args);
        QDBusPendingCall pending = watcherBus.asyncCall(m, 5000);
        waitFor([&] { return pending.isFinished(); });
        return pending.reply();
    }
    QVariant property(const QString& path, const QString& interface, const QString& name)
    {
        const QDBusMessage reply = call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                        {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }
    QVariant itemProperty(const QString& name)
    {
        return property(QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.kde.StatusNotifierItem"), name);
    }
};

// The largest of an a(iiay) list of pixmaps, each ARGB32 in network byte order.
QImage readLargestPixmap(const QDBusArgument& arg)
{
    QImage best;
    arg.beginArray();
    while (!arg.atEnd()) {
        int w = 0, h = 0;
        QByteArray data;
        arg.beginStructure();
        arg >> w >> h >> data;
        arg.endStructure();
        if (w <= best.width() || data.size() != qsizetype(w) * h * 4) continue;
        QImage image(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const auto* p = reinterpret_cast<const uchar*>(data.constData()) + (y * w + x) * 4;
                image.setPixel(x, y, qRgba(p[1], p[2], p[3], p[0]));
            }
        best = image;
    }
    arg.endArray();
    return best;
}

// ToolTip is (icon name, icon pixmaps, title, text).
QString toolTipTitle(const QVariant& v)
{
    const QDBusArgument arg = v.value<QDBusArgument>();
    QString iconName, title, text;
    arg.beginStructure();
    arg >> iconName;
    readLargestPixmap(arg);
    arg >> title >> text;
    arg.endStructure();
    return title + text;
}

QImage largestIcon(const QVariant& v) { return readLargestPixmap(v.value<QDBusArgument>()); }

int countNear(const QImage& image, const QRectF& rect, const QColor& color)
{
    int n = 0;
    const QRect r = rect.toAlignedRect().intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && std::abs(c.red() - color.red()) < 50 && std::abs(c.green() - color.green()) < 50 &&
                std::abs(c.blue() - color.blue()) < 50)
                ++n;
        }
    return n;
}

// The labels of a GetLayout node and all below it, depth first.
void collectLabels(const QDBusArgument& arg, QStringList& out)
{
    int id = 0;
    QVariantMap properties;
    arg.beginStructure();
    arg >> id >> properties;
    if (properties.contains(QStringLiteral("label"))) out << properties.value(QStringLiteral("label")).toString();
    if (properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator")) out << QStringLiteral("---");
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        collectLabels(child.variant().value<QDBusArgument>(), out);
    }
    arg.endArray();
    arg.endStructure();
}

}  // namespace

#define REQUIRE_DISPLAY()                                                  \
    if (!VirtualDisplay::current()) GTEST_SKIP() << "Xvfb could not start"

TEST(TrayProtocol, ItemRegistersAndFollowsTheScore)
{
    REQUIRE_DISPLAY();
    TrayRig t;
    t.rig.publishSample(10, 20, 91);
    t.install();
    EXPECT_TRUE(t.controller->trayAvailable());
    ASSERT_TRUE(waitFor([&] { return !t.watcher.items().isEmpty(); })) << "the item never registered";

    EXPECT_EQ(toolTipTitle(t.itemProperty(QStringLiteral("ToolTip"))), QStringLiteral("Veltranmoor AI \u2014 91 \u25CB"));
    const PaletteTheme& palette = t.rig.themes.current();
    QImage icon = largestIcon(t.itemProperty(QStringLiteral("IconPixmap")));
    ASSERT_FALSE(icon.isNull());
    StatusIconLayout layout = StatusIconLayout::forSide(icon.width(), 0);
    EXPECT_GT(countNear(icon, layout.score, palette.success), 5);
    EXPECT_EQ(countNear(icon, layout.score, palette.danger), 0);

    t.rig.publishSample(95, 95, 31);
    settle();
    EXPECT_EQ(toolTipTitle(t.itemProperty(QStringLiteral("ToolTip"))), QStringLiteral("Veltranmoor AI \u2014 31 \u25CB"));
    icon = largestIcon(t.itemProperty(QStringLiteral("IconPixmap")));
    EXPECT_GT(countNear(icon, layout.score, palette.danger), 5);
    EXPECT_EQ(countNear(icon, layout.score, palette.success), 0);
    EXPECT_TRUE(icon.save(screenshotDir() + QStringLiteral("/status-icon.png")));
}

TEST(TrayProtocol, MenuIsExportedWithTheStatusRowsAndRebuiltWhenOpened)
{
    REQUIRE_DISPLAY();
    TrayRig t;
    t.install();
    ASSERT_TRUE(waitFor([&] { return !t.watcher.items().isEmpty(); }));
    const QString menuPath = t.itemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());

    auto labels = [&] {
        const QDBusMessage reply = t.call(menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"),
                                          {0, -1, QStringList()});
        QStringList out;
        if (reply.arguments().size() == 2) collectLabels(reply.arguments().at(1).value<QDBusArgument>(), out);
        return out;
    };
    QStringList rows = labels();
    for (const char* row : {"Snooze Guard: Disabled", "Test Alert", "AI Shield: 0 AI processes", "Work Guard: 0 snapshots",
                            "  Last sweep: never", "Show Desktop HUD", "Open Dashboard", "Quit Veltranmoor"})
        EXPECT_TRUE(rows.contains(QString::fromUtf8(row))) << row << "\n" << rows.join(QLatin1Char('|')).toStdString();

    // The panel announces the opening; the menu then reflects the live state.
    t.hud.show();
    t.call(menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("AboutToShow"), {0});
    settle();
    rows = labels();
    EXPECT_TRUE(rows.contains(QStringLiteral("Hide Desktop HUD"))) << rows.join(QLatin1Char('|')).toStdString();
}

// Counts a D-Bus signal the panel's side receives.
class SignalCounter : public QObject {
    Q_OBJECT
public:
    int count() const { return m_count.loadRelaxed(); }

public Q_SLOTS:
    void seen() { m_count.fetchAndAddRelaxed(1); }

private:
    QAtomicInt m_count;
};

namespace {

struct MenuEntry {
    int id = 0;
    QString label;
    bool visible = true;
    bool operator==(const MenuEntry&) const = default;
};

// The entries below a GetLayout node, depth first, with their ids and visibility.
void collectEntries(const QDBusArgument& arg, QList<MenuEntry>& out, bool root = true)
{
    int id = 0;
    QVariantMap properties;
    arg.beginStructure();
    arg >> id >> properties;
    if (!root)
        out << MenuEntry{id,
                         properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator")
                             ? QStringLiteral("---")
                             : properties.value(QStringLiteral("label")).toString(),
                         properties.value(QStringLiteral("visible"), true).toBool()};
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        collectEntries(child.variant().value<QDBusArgument>(), out, false);
    }
    arg.endArray();
    arg.endStructure();
}

}  // namespace

// A panel reads the menu's layout once and shows it; what changes later must not replace the
// entries under it (a panel that measured the old ones hides the last rows behind a scroll
// arrow). The entries keep their ids; only their texts and visibility change.
TEST(TrayProtocol, MenuEntriesStayWhileTheirTextsFollowTheGuards)
{
    REQUIRE_DISPLAY();
    TrayRig t;
    t.install();
    ASSERT_TRUE(waitFor([&] { return !t.watcher.items().isEmpty(); }));
    const QString menuPath = t.itemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());
    const QString dbusmenu = QStringLiteral("com.canonical.dbusmenu");
    auto layout = [&] {
        const QDBusMessage reply = t.call(menuPath, dbusmenu, QStringLiteral("GetLayout"), {0, -1, QStringList()});
        QList<MenuEntry> out;
        if (reply.arguments().size() == 2) collectEntries(reply.arguments().at(1).value<QDBusArgument>(), out);
        return out;
    };
    auto shown = [](const QList<MenuEntry>& entries) {
        QStringList out;
        for (const MenuEntry& e : entries)
            if (e.visible) out << e.label;
        return out;
    };
    SignalCounter layoutChanges;
    ASSERT_TRUE(t.watcherBus.connect(t.watcher.sender(), menuPath, dbusmenu, QStringLiteral("LayoutUpdated"),
                                     &layoutChanges, SLOT(seen())));
    const QList<MenuEntry> before = layout();
    ASSERT_FALSE(before.isEmpty());
    const QStringList first = shown(before);
    EXPECT_TRUE(first.contains(QStringLiteral("Show Desktop HUD")));
    EXPECT_EQ(first.last(), QStringLiteral("Quit Veltranmoor"));

    // The HUD appears; the panel announces an opening.
    t.hud.show();
    t.call(menuPath, dbusmenu, QStringLiteral("AboutToShow"), {0});
    settle();
    const QList<MenuEntry> after = layout();
    ASSERT_EQ(after.size(), before.size());
    for (qsizetype i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].id, before[i].id) << i;
    const QStringList now = shown(after);
    EXPECT_TRUE(now.contains(QStringLiteral("Hide Desktop HUD"))) << now.join(QLatin1Char('|')).toStdString();
    for (const char* row : {"Open Dashboard", "Settings\u2026", "Quit Veltranmoor"})
        EXPECT_TRUE(now.contains(QString::fromUtf8(row))) << row;
    settle();
    EXPECT_EQ(layoutChanges.count(), 0) << "the entries were replaced";
    t.hud.hide();
}

TEST(TrayProtocol, ActivateTogglesThePopoverAndCtrlActivateOpensTheMenu)
{
    REQUIRE_DISPLAY();
    TrayRig t;
    t.rig.publishSample(37, 64, 88);
    t.install();
    ASSERT_TRUE(waitFor([&] { return !t.watcher.items().isEmpty(); }));
    ASSERT_NE(t.controller->popover(), nullptr);
    const QString item = QStringLiteral("/StatusNotifierItem"), iface = QStringLiteral("org.kde.StatusNotifierItem");

    // A click in the panel: the popover opens at the pointer, a second click closes it.
    ASSERT_EQ(xdotool({QStringLiteral("mousemove"), QStringLiteral("1200"), QStringLiteral("10")}), 0);
    t.call(item, iface, QStringLiteral("Activate"), {1200, 10});
    ASSERT_TRUE(waitFor([&] { return t.controller->isPopoverShown(); }));
    const QRect shown = t.controller->popover()->frameGeometry();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(screen.contains(shown)) << "kept on the screen";
    t.call(item, iface, QStringLiteral("Activate"), {1200, 10});
    ASSERT_TRUE(waitFor([&] { return !t.controller->isPopoverShown(); }));

    // A click elsewhere closes it too, as any popup.
    t.call(item, iface, QStringLiteral("Activate"), {1200, 10});
    ASSERT_TRUE(waitFor([&] { return t.controller->isPopoverShown(); }));
    ASSERT_EQ(xdotool({QStringLiteral("mousemove"), QStringLiteral("100"), QStringLiteral("700"), QStringLiteral("click"),
                       QStringLiteral("1")}),
              0);
    EXPECT_TRUE(waitFor([&] { return !t.controller->isPopoverShown(); }));

    // Ctrl held: the menu instead.
    ASSERT_EQ(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl")}), 0);
    t.call(item, iface, QStringLiteral("Activate"), {1200, 10});
    EXPECT_TRUE(waitFor([&] { return t.controller->menu()->isVisible(); }));
    xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl")});
    EXPECT_FALSE(t.controller->isPopoverShown());
    t.controller->menu()->hide();
}

TEST(TrayProtocol, ScreenshotsOfPopoverAndMenuUnderDarkAndLightPalettes)
{
    REQUIRE_DISPLAY();
    TrayRig t;
    PerformanceSnapshot s;
    s.cpuUsage = 37;
    s.memoryUsed = 11.2;
    s.memoryTotal = 16;
    s.memoryPressure = 64;
    s.diskTotal = 512ULL << 30;
    s.diskUsed = 470ULL << 30;
    s.cpuTempC = 71;
    for (int i = 0; i < 7; ++i) {
        ProcessInfoItem p;
        p.pid = 100 + i;
        p.name = QStringList{"firefox", "code", "chrome", "ollama", "Xorg", "pipewire", "bash"}[i];
        p.cpuUsage = 90 - i * 12;
        p.memoryMB = 2400 - i * 300;
        p.isRunaway = i == 0;
        s.topProcesses << p;
    }
    t.rig.monitor.setCurrentSnapshot(s);
    t.rig.publishSample(37, 64, 88);
    t.install();
    QWidget* popoverWindow = t.controller->popover();
    ASSERT_NE(popoverWindow, nullptr);
    // The popover opens at the pointer; near the top of the screen the whole readout fits below.
    ASSERT_EQ(xdotool({QStringLiteral("mousemove"), QStringLiteral("900"), QStringLiteral("2")}), 0);

    for (const auto& [palette, family] : {std::pair{&PaletteTheme::hud(), "dark"}, std::pair{&PaletteTheme::daylight(), "light"}}) {
        t.rig.themes.setCurrent(*palette);
        t.controller->openPopover();
        ASSERT_TRUE(waitFor([&] { return popoverWindow->isVisible(); }));
        settle();
        const QImage popover = popoverWindow->grab().toImage();
        ASSERT_EQ(popover.width(), MenuReadoutView::width);
        EXPECT_GT(popover.height(), 500);
        // The background is the palette's.
        EXPECT_LT(std::abs(popover.pixelColor(2, popover.height() / 2).lightness() - palette->background.lightness()), 40)
            << family;
        EXPECT_TRUE(popover.save(screenshotDir() + QStringLiteral("/status-popover-%1.png").arg(QLatin1String(family))));
        popoverWindow->hide();

        QMenu* menu = t.controller->menu();
        menu->setPalette(palette->background.lightness() < 128 ? QPalette(QColor(0x2a, 0x2a, 0x30)) : QPalette(QColor(0xf4, 0xf4, 0xf6)));
        menu->popup(QPoint(900, 40));
        ASSERT_TRUE(waitFor([&] { return menu->isVisible(); }));
        settle();
        const QImage shot = menu->grab().toImage();
        EXPECT_GT(shot.height(), 300);
        EXPECT_TRUE(shot.save(screenshotDir() + QStringLiteral("/status-menu-%1.png").arg(QLatin1String(family))));
        menu->hide();
    }
}

namespace {

// The older tray protocol, as panels without StatusNotifier support speak it: the manager owns
// the _NET_SYSTEM_TRAY_S<n> selection, and an icon asks it (a client message) to dock its
// window, which the manager then reparents into its panel and maps. The panel here is a
// window of its own at a fixed place at the top right of the screen.
class XEmbedTray {
public:
    static constexpr int panelX = 1200, panelY = 0, iconOffset = 4, iconSize = 32;

    XEmbedTray()
    {
        int screenNumber = 0;
        m_c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_c)) return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
        xcb_screen_t* screen = it.data;
        const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber));
        m_opcode = atom("_NET_SYSTEM_TRAY_OPCODE");

        m_manager = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_manager, screen->root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        m_panel = xcb_generate_id(m_c);
        const uint32_t values[] = {screen->black_pixel, 1};
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_panel, screen->root, panelX, panelY, 80, 40, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(m_c, m_panel);
        xcb_set_selection_owner(m_c, m_manager, selection, XCB_CURRENT_TIME);

        // Announced to the clients already running, as the protocol asks.
        xcb_client_message_event_t announce{};
        announce.response_type = XCB_CLIENT_MESSAGE;
        announce.format = 32;
        announce.window = screen->root;
        announce.type = atom("MANAGER");
        announce.data.data32[0] = XCB_CURRENT_TIME;
        announce.data.data32[1] = selection;
        announce.data.data32[2] = m_manager;
        xcb_send_event(m_c, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&announce));

        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, selection), nullptr);
        m_valid = owner && owner->owner == m_manager;
        free(owner);
        // Served while the test's loop runs: an icon may ask again with a new window.
        QObject::connect(&m_timer, &QTimer::timeout, [this] { serve(); });
        m_timer.start(10);
    }
    ~XEmbedTray()
    {
        if (m_c) xcb_disconnect(m_c);
    }

    bool isValid() const { return m_valid; }

    // Serves the dock requests that came in; the last docked icon's window, or 0 while none has.
    xcb_window_t serve()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_c)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                if (message->type == m_opcode && message->data.data32[1] == 0 /* REQUEST_DOCK */) dock(message->data.data32[2]);
            }
            free(event);
        }
        return m_icon;
    }

    // Where the icon shows, in root coordinates.
    static QRect iconRect() { return QRect(panelX + iconOffset, panelY + iconOffset, iconSize, iconSize); }

private:
    xcb_atom_t atom(const QByteArray& name)
    {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return a;
    }

    void dock(xcb_window_t icon)
    {
        m_icon = icon;
        xcb_reparent_window(m_c, icon, m_panel, iconOffset, iconOffset);
        const uint32_t size[] = {iconSize, iconSize};
        xcb_configure_window(m_c, icon, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        xcb_map_window(m_c, icon);
        xcb_flush(m_c);
    }

    xcb_connection_t* m_c = nullptr;
    xcb_atom_t m_opcode = XCB_ATOM_NONE;
    xcb_window_t m_manager = 0;
    xcb_window_t m_panel = 0;
    xcb_window_t m_icon = 0;
    bool m_valid = false;
    QTimer m_timer;
};

bool click(const QPoint& at, int button)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                    QString::number(button)}) == 0;
}

}  // namespace

// Without a StatusNotifier watcher the icon docks in an XEmbed tray. Qt decides once per process
// which protocol to speak, and ctest runs each test in a process of its own.
TEST(TrayProtocol, XEmbedTrayClicksOpenThePopoverUnderTheIconAndTheMenu)
{
    REQUIRE_DISPLAY();
    XEmbedTray tray;
    ASSERT_TRUE(tray.isValid()) << "could not own the tray selection";
    TrayRig t(false);
    t.rig.publishSample(37, 64, 88);
    t.install();
    EXPECT_TRUE(t.controller->trayAvailable());
    // Qt may dock a first window and then a new one in its place: the icon is in the tray once
    // the window docked last is the icon's live one and shows.
    ASSERT_TRUE(waitFor([&] {
        const xcb_window_t docked = tray.serve();
        const QWindowList windows = QGuiApplication::allWindows();
        return docked != 0 && std::any_of(windows.begin(), windows.end(), [&](QWindow* w) {
                   return w->handle() && w->winId() == docked && w->isExposed();
               });
    }, 10000)) << "the icon never docked";
    settle();
    const QRect icon = XEmbedTray::iconRect();

    // A left click: the popover opens under the icon, whose place the tray gave.
    ASSERT_TRUE(click(icon.center(), 1));
    ASSERT_TRUE(waitFor([&] { return t.controller->isPopoverShown(); }));
    const QRect shown = t.controller->popover()->frameGeometry();
    EXPECT_GE(shown.top(), icon.bottom()) << "below the icon";
    EXPECT_LE(shown.top(), icon.bottom() + 10);
    EXPECT_TRUE(shown.left() <= icon.center().x() || shown.right() >= QGuiApplication::primaryScreen()->geometry().right() - 1)
        << "centred on the icon unless the screen's edge is in the way";
    // A click outside closes it.
    ASSERT_TRUE(click(QPoint(100, 700), 1));
    ASSERT_TRUE(waitFor([&] { return !t.controller->isPopoverShown(); }));

    // A right click opens the menu, rebuilt for the opening.
    t.hud.show();
    ASSERT_TRUE(click(icon.center(), 3));
    ASSERT_TRUE(waitFor([&] { return t.controller->menu()->isVisible(); }));
    QStringList rows;
    for (QAction* action : t.controller->menu()->actions()) rows << action->text();
    EXPECT_TRUE(rows.contains(QStringLiteral("Hide Desktop HUD"))) << rows.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("Quit Veltranmoor")));
    EXPECT_FALSE(t.controller->isPopoverShown());
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitFor([&] { return !t.controller->menu()->isVisible(); }));

    // Ctrl with a left click: the menu, not the popover.
    ASSERT_EQ(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl")}), 0);
    ASSERT_TRUE(click(icon.center(), 1));
    EXPECT_TRUE(waitFor([&] { return t.controller->menu()->isVisible(); }));
    xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl")});
    EXPECT_FALSE(t.controller->isPopoverShown());
    t.controller->menu()->hide();
}

namespace {

QProcessEnvironment binaryEnvironment(const QTemporaryDir& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
    env.insert("XDG_DATA_HOME", home.path() + "/.local/share");
    env.insert("XDG_CACHE_HOME", home.path() + "/.cache");
    env.insert("QT_QPA_PLATFORM", "xcb");
    return env;
}

bool dashboardWindowExists()
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("Dashboard")}) == 0;
}

// Clicks "Quit Veltranmoor" in the item's exported menu, as the panel does; false when the
// entry is not there.
bool quitFromTheMenu(TrayRig& t)
{
    const QString menuPath = t.itemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    const QDBusMessage layout =
        t.call(menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"), {0, -1, QStringList()});
    if (layout.arguments().size() != 2) return false;
    // The id of the quit entry: walk the root's children.
    int quitID = -1;
    const QDBusArgument root = layout.arguments().at(1).value<QDBusArgument>();
    int id = 0;
    QVariantMap props;
    root.beginStructure();
    root >> id >> props;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const QDBusArgument c = child.variant().value<QDBusArgument>();
        int childID = 0;
        QVariantMap childProps;
        c.beginStructure();
        c >> childID >> childProps;
        if (childProps.value(QStringLiteral("label")).toString() == QStringLiteral("Quit Veltranmoor")) quitID = childID;
    }
    if (quitID <= 0) return false;
    t.call(menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"),
           {quitID, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    return true;
}

// The state letter of /proc/PID/stat ('R', 'S', 'T', ...); 0 when the process is gone.
char processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    const qsizetype paren = text.lastIndexOf(')');
    return paren >= 0 && paren + 2 < text.size() ? text[paren + 2] : 0;
}

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() : 0;
}

// A process named `comm` below `ancestor` (at most three generations down); 0 when none.
qint64 descendantNamed(qint64 ancestor, const QByteArray& comm)
{
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number) continue;
        QFile name(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!name.open(QIODevice::ReadOnly) || name.readAll().trimmed() != comm) continue;
        qint64 up = pid;
        for (int generation = 0; generation < 3 && up > 1; ++generation) {
            up = parentOf(up);
            if (up == ancestor) return pid;
        }
    }
    return 0;
}

}  // namespace

TEST(TrayBinary, AutostartStaysInTheTrayAndQuitsFromTheMenu)
{
    REQUIRE_DISPLAY();
    TrayRig t;
    QTemporaryDir home;
    QProcess app;
    app.setProcessEnvironment(binaryEnvironment(home));
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--autostart")});
    ASSERT_TRUE(app.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return !t.watcher.items().isEmpty(); }, 60000)) << app.readAll().toStdString();
    QByteArray output;
    ASSERT_TRUE(waitFor([&] {
        output += app.readAll();
        return output.contains("[SnoozeGuard] AppDelegate hook fired");
    }, 60000));
    QThread::msleep(500);
    QCoreApplication::processEvents();
    EXPECT_FALSE(dashboardWindowExists()) << "an autostart with a tray opens no window";

    ASSERT_TRUE(quitFromTheMenu(t));
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << (output + app.readAll()).toStdString();
}

// A local model server runs: the application pauses cloud sync by stopping the sync client.
// Quitting from the menu then continues the client; it is never left frozen. The application
// and the two programs run in a pid namespace of their own, so that it sees no other
// "syncthing" (tests running alongside start some) and stops none but ours. The model server
// stands idle: among this namespace's few processes it is still one of the busiest the
// application lists, while an instance outside (another test's) ranks it below every busier
// process and so never pauses sync on its account.
TEST(TrayBinary, QuitFromTheMenuContinuesTheSyncClientItStopped)
{
    REQUIRE_DISPLAY();
    TrayRig t;
    QTemporaryDir home;
    QTemporaryDir bin;
    // A process's name is its program file's: copies named as the programs they stand for.
    const QString client = bin.path() + QStringLiteral("/syncthing");
    const QString model = bin.path() + QStringLiteral("/llama-server");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), client));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), model));

    QProcessEnvironment env = binaryEnvironment(home);
    env.insert(QStringLiteral("CLIENT"), client);
    env.insert(QStringLiteral("MODEL"), model);
    env.insert(QStringLiteral("APP"), QStringLiteral(VELTRANMOOR_BINARY));
    QProcess ns;
    ns.setProcessEnvironment(env);
    ns.setProcessChannelMode(QProcess::MergedChannels);
    // The namespace's first process, a shell, starts both programs and the application, and
    // outlives the application so that the client's state can be read after it quit. Killing
    // unshare takes the whole namespace with it.
    ns.start(QStringLiteral("unshare"),
             {QStringLiteral("--pid"), QStringLiteral("--mount-proc"), QStringLiteral("--kill-child"),
              QStringLiteral("/bin/sh"), QStringLiteral("-c"),
              QStringLiteral("\"$CLIENT\" 600 & \"$MODEL\" 600 & "
                             "\"$APP\" --autostart; echo \"application exit $?\"; sleep 600")});
    ASSERT_TRUE(ns.waitForStarted(10000)) << "unshare is part of util-linux";
    struct Stop {
        QProcess& p;
        ~Stop()
        {
            p.kill();
            p.waitForFinished(10000);
        }
    } stop{ns};

    QByteArray output;
    auto read = [&] { output += ns.readAll(); };
    ASSERT_TRUE(waitFor([&] { read(); return !t.watcher.items().isEmpty(); }, 60000)) << output.toStdString();
    // The client, as this namespace numbers it: a grandchild of unshare.
    qint64 syncPid = 0;
    ASSERT_TRUE(waitFor([&] {
        syncPid = descendantNamed(ns.processId(), "syncthing");
        return syncPid > 0;
    }, 10000));
    ASSERT_TRUE(waitFor([&] {
        read();
        return processState(syncPid) == 'T';
    }, 90000)) << "the sync client was never paused\n" << output.toStdString();

    ASSERT_TRUE(quitFromTheMenu(t));
    EXPECT_TRUE(waitFor([&] {
        read();
        return output.contains("application exit ");
    }, 30000)) << output.toStdString();
    EXPECT_TRUE(output.contains("application exit 0")) << output.toStdString();
    EXPECT_TRUE(waitFor([&] { return processState(syncPid) == 'S'; }, 5000))
        << "left in state " << processState(syncPid);
}

TEST(TrayBinary, WithoutATrayItSaysSoAndOpensTheDashboard)
{
    REQUIRE_DISPLAY();
    QTemporaryDir home;
    QProcess app;
    app.setProcessEnvironment(binaryEnvironment(home));
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--autostart")});
    ASSERT_TRUE(app.waitForStarted(10000));
    QByteArray output;
    EXPECT_TRUE(waitFor([&] {
        output += app.readAll();
        return output.contains("No system tray");
    }, 60000)) << output.toStdString();
    EXPECT_EQ(output.count("No system tray"), 1);
    EXPECT_TRUE(waitFor([] { return dashboardWindowExists(); }, 30000));
    ::kill(app.processId(), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitCode(), 0);
}

#include "TrayProtocolTest.moc"
