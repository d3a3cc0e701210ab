// Every top-level window fits the screen it opens on: it opens inside the screen's available
// area with a minimum size no larger than that, and what does not fit scrolls, so every tab,
// every settings page and the chat's input stay within reach. CTest runs these once more on a
// 1366 x 768 screen and on a 1920 x 1080 screen at twice the scale.
#include "SettingsRig.h"

#include "ui/HUDRig.h"
#include "ui/WindowFit.h"
#include "ui/chat/TavrilonChatView.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/dashboard/SidebarButton.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/shell/DesktopHUDController.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using namespace settings_rig;

namespace {

QRect area() { return QGuiApplication::primaryScreen()->availableGeometry(); }

std::string text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

void expectFits(const QWidget& window, const char* what)
{
    EXPECT_TRUE(area().contains(window.frameGeometry())) << what << ": " << text(window.frameGeometry()) << " in " << text(area());
    EXPECT_LE(window.minimumWidth(), area().width()) << what;
    EXPECT_LE(window.minimumHeight(), area().height()) << what;
}

// Whether `widget` can be brought into view inside its scroll area and then lies inside `window`.
bool reachable(QWidget* widget, QWidget* window)
{
    for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(p)) {
            scroll->ensureWidgetVisible(widget, 0, 0);
            break;
        }
    QCoreApplication::processEvents();
    const QRect at(widget->mapTo(window, QPoint(0, 0)), widget->size());
    return widget->isVisible() && window->rect().contains(at);
}

}  // namespace

TEST(WindowFit, SmallScreenKeepsTheDashboardWithEveryTabAndTheChatInputInReach)
{
    Rig rig;
    SettingsEnvironment settings = rig.env();
    DashboardEnvironment env = rig.base.env();
    env.settingsView = &settings;
    DashboardWindowController controller(env);
    controller.open();
    DetailedView* window = controller.window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    dashboard_rig::settle();
    expectFits(*window, "dashboard");

    for (SidebarButton* button : window->sidebar()->buttons())
        EXPECT_TRUE(reachable(button, window)) << button->label().toStdString();
    EXPECT_TRUE(reachable(window->sidebar()->quitButton(), window));

    window->selectTab(DashboardTab::tavrilon);
    dashboard_rig::settle();
    auto* chat = window->tabView()->findChild<QLineEdit*>();
    if (auto* view = qobject_cast<TavrilonChatView*>(window->tabView())) chat = view->input();
    ASSERT_NE(chat, nullptr);
    EXPECT_TRUE(reachable(chat, window)) << "the chat's input";

    window->selectTab(DashboardTab::settings);
    dashboard_rig::settle();
    auto* pages = qobject_cast<SettingsView*>(window->tabView());
    ASSERT_NE(pages, nullptr);
    for (SettingsSection section : SettingsSections::all)
        EXPECT_TRUE(reachable(pages->sidebarRow(section), window)) << SettingsSections::rawValue(section).toStdString();
}

TEST(WindowFit, SmallScreenKeepsTheSettingsWindowAndEveryPageInReach)
{
    Rig rig;
    SettingsWindowController controller(rig.env());
    controller.open();
    SettingsView* window = controller.window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    dashboard_rig::settle();
    expectFits(*window, "settings");
    for (SettingsSection section : SettingsSections::all)
        EXPECT_TRUE(reachable(window->sidebarRow(section), window)) << SettingsSections::rawValue(section).toStdString();
}

TEST(WindowFit, HUDTallerThanTheScreenScrollsAndAFarOffPlaceIsPulledBack)
{
    HUDRig hud;
    // Remembered at the screen's last pixel: the whole panel still shows.
    hud.rig.defaults.setString(DesktopHUDController::frameKey,
                               DesktopHUDController::originText(area().bottomRight() - QPoint(1, 1)));
    DesktopHUDController controller(DesktopHUDDeps{
        .defaults = hud.rig.defaults,
        .makeContent = [&hud](std::function<void()>) -> QWidget* { return new HUDWidgetView(hud.deps()); },
    });
    controller.show();
    QWidget* panel = controller.panel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    auto* content = panel->findChild<HUDWidgetView*>();
    ASSERT_NE(content, nullptr);
    EXPECT_TRUE(area().contains(panel->frameGeometry())) << text(panel->frameGeometry());
    auto* scroll = panel->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    // Taller than the screen's room, the content scrolls; otherwise it shows whole.
    EXPECT_EQ(scroll->verticalScrollBar()->maximum() > 0, content->sizeHint().height() > panel->height());
    EXPECT_LE(panel->height(), area().height());
    EXPECT_TRUE(reachable(content->chatField(), panel)) << "the mini chat's field";
}

TEST(WindowFit, AnyWindowIsCutToTheAreaAndMovedBackInside)
{
    QWidget window;
    WindowFit::fit(window, QSize(3000, 2000), QSize(2000, 1500));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(300);
    expectFits(window, "a large window");

    // Moved half off the screen by its user, it is brought back when asked.
    window.move(area().right() - 50, area().bottom() - 50);
    QCoreApplication::processEvents();
    WindowFit::keepInside(window);
    EXPECT_TRUE(area().contains(window.frameGeometry())) << text(window.frameGeometry());
}
