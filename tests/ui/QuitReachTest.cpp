// Quitting is always within reach: Ctrl+Q from any window, the dashboard's own Quit, and, where
// no tray could bring the dashboard back, closing it.
#include "DashboardRig.h"

#include "ui/QuitShortcut.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/dashboard/SidebarButton.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using namespace dashboard_rig;

TEST(QuitReach, CtrlQQuitsFromAnyWindowOnceAndOtherKeysPassThrough)
{
    int quits = 0;
    QuitShortcut shortcut([&] { ++quits; });

    // A window with a text field that has the focus, a frameless tool window and a popup.
    QWidget window;
    auto* field = new QLineEdit(&window);
    (new QVBoxLayout(&window))->addWidget(field);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("q"));
    QTest::keyClick(field, Qt::Key_W, Qt::ControlModifier);
    settle();
    EXPECT_EQ(field->text(), QStringLiteral("q"));
    EXPECT_EQ(quits, 0);
    QTest::keyClick(field, Qt::Key_Q, Qt::ControlModifier);
    settle();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(field->text(), QStringLiteral("q")) << "the key press is not typed";

    for (Qt::WindowFlags flags : {Qt::Tool | Qt::FramelessWindowHint, Qt::Popup | Qt::FramelessWindowHint}) {
        QWidget other(nullptr, flags);
        other.resize(100, 100);
        other.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
        const int before = quits;
        QTest::keyClick(&other, Qt::Key_Q, Qt::ControlModifier);
        settle();
        EXPECT_EQ(quits, before + 1) << int(flags);
    }
}

TEST(QuitReach, DashboardOffersQuitAndClosingItQuitsOnlyWithoutATray)
{
    for (bool tray : {true, false}) {
        Rig rig;
        int quits = 0;
        DashboardEnvironment env = rig.env();
        env.quit = [&] { ++quits; };
        env.trayHostPresent = [tray] { return tray; };
        DashboardWindowController controller(env);
        EXPECT_EQ(controller.quitsOnClose(), !tray);
        controller.open();
        DetailedView* window = controller.window();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

        QAbstractButton* quit = window->sidebar()->quitButton();
        ASSERT_NE(quit, nullptr);
        EXPECT_EQ(quit->text(), QStringLiteral("Quit"));
        EXPECT_TRUE(quit->isVisible());
        QTest::mouseClick(quit, Qt::LeftButton);
        settle();
        EXPECT_EQ(quits, 1) << "tray " << tray;

        window->close();
        settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(controller.window(), nullptr);
        EXPECT_EQ(quits, tray ? 1 : 2) << "tray " << tray;
    }
}
