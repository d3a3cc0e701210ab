// The HUD hotkey on a real X server: xdotool presses toggle the HUD, Caps Lock and Num Lock do
// not matter, a new choice moves the grab, and a combination another client holds fails cleanly.
#include "VirtualDisplay.h"

#include "core/Log.h"
#include "core/UserDefaults.h"
#include "platform/linux/XcbGlobalShortcut.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/HotkeyManager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace {


// Presses and lets the press travel: counts the toggles it caused.
int pressesToggle(DesktopHUDController& hud, const QString& combo)
{
    const bool before = hud.isPanelVisible();
    if (xdotool({QStringLiteral("key"), combo}) != 0) return -1;
    return waitFor([&] { return hud.isPanelVisible() != before; }, 1500) ? 1 : 0;
}

struct HotkeyRig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    XcbGlobalShortcut shortcut{VirtualDisplay::current() ? VirtualDisplay::current()->name() : QByteArray(), false};
    DesktopHUDController hud{DesktopHUDDeps{.defaults = defaults}};
    HotkeyManager manager{defaults, shortcut, [this] { hud.toggle(); }};
    QStringList logged;
    HotkeyRig() { Log::setSink([this](const QString& l) { logged << l; }); }
    ~HotkeyRig() { Log::setSink({}); }
};

}  // namespace

#define REQUIRE_DISPLAY()                                                  \
    if (!VirtualDisplay::current()) GTEST_SKIP() << "Xvfb could not start"

TEST(HotkeyX11, PressTogglesTheHUDWhateverTheLockKeys)
{
    REQUIRE_DISPLAY();
    HotkeyRig r;
    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("ctrl-opt-h"));
    r.manager.start();
    ASSERT_TRUE(r.manager.registered());

    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("ctrl+alt+h")), 1);
    EXPECT_TRUE(r.hud.isPanelVisible());
    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("ctrl+alt+h")), 1);
    EXPECT_FALSE(r.hud.isPanelVisible());
    // Other modifiers on the same key are not the shortcut.
    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("ctrl+h")), 0);

    for (const char* lock : {"Num_Lock", "Caps_Lock"}) {
        ASSERT_EQ(xdotool({QStringLiteral("key"), QString::fromLatin1(lock)}), 0);
        EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("ctrl+alt+h")), 1) << lock;
    }
}

TEST(HotkeyX11, ANewChoiceMovesTheGrabAndOffReleasesIt)
{
    REQUIRE_DISPLAY();
    HotkeyRig r;
    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("cmd-opt-h"));
    r.manager.start();
    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("super+alt+h")), 1);

    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("cmd-opt-g"));
    ASSERT_TRUE(waitFor([&] { return r.manager.registered() && r.manager.registered()->id == QStringLiteral("cmd-opt-g"); }));
    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("super+alt+h")), 0);
    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("super+alt+g")), 1);

    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("off"));
    ASSERT_TRUE(waitFor([&] { return !r.manager.registered(); }));
    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("super+alt+g")), 0);
}

TEST(HotkeyX11, ACombinationHeldByAnotherClientFailsAndNothingBreaks)
{
    REQUIRE_DISPLAY();
    // Another client grabs Ctrl+Alt+H first.
    xcb_connection_t* other = xcb_connect(VirtualDisplay::current()->name().constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 'h');
    ASSERT_NE(codes, nullptr);
    xcb_generic_error_t* error = xcb_request_check(
        other, xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, codes[0], XCB_GRAB_MODE_ASYNC,
                                    XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);
    free(codes);
    xcb_key_symbols_free(symbols);

    HotkeyRig r;
    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("ctrl-opt-h"));
    r.manager.start();
    EXPECT_FALSE(r.manager.registered());
    EXPECT_EQ(r.logged, QStringList{QStringLiteral("[Hotkey] XGrabKey failed: 10")});
    EXPECT_EQ(r.defaults.getString(HotkeyManager::hotkeyKey), QStringLiteral("ctrl-opt-h")) << "the setting stays";

    // Another choice still works.
    r.manager.registerChoice(QStringLiteral("cmd-shift-h"));
    ASSERT_TRUE(r.manager.registered());
    EXPECT_EQ(pressesToggle(r.hud, QStringLiteral("super+shift+h")), 1);
    xcb_disconnect(other);
}
