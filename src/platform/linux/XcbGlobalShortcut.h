#pragma once

#include "platform/GlobalShortcut.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <vector>

class QSocketNotifier;
struct xcb_connection_t;
struct _XCBKeySymbols;

// X11 global shortcut: a passive key grab on the root window through a connection of its own,
// repeated with Caps Lock and Num Lock so the combination works whatever their state. The
// connection is opened at the first grab and read on the main loop.
class XcbGlobalShortcut final : public QObject, public GlobalShortcut {
public:
    // `display`: the X display to use (empty: $DISPLAY). `wayland`: the session is a Wayland one,
    // where a grab through the compatibility server would only see keys typed into X windows.
    XcbGlobalShortcut(QByteArray display, bool wayland, QObject* parent = nullptr);
    ~XcbGlobalShortcut() override;

    // From the environment: XDG_SESSION_TYPE=wayland, or a Wayland display and no X one.
    static bool isWaylandSession();

    bool isAvailable() const override { return !m_wayland; }
    int grab(uint32_t keysym, uint32_t modifiers) override;
    void release() override;

private:
    bool connectDisplay();
    void readEvents();
    uint16_t numLockMask();
    std::vector<uint16_t> variants() { const uint16_t n = numLockMask(); return {0, 2, n, uint16_t(2 | n)}; }

    QByteArray m_display;
    bool m_wayland;
    xcb_connection_t* m_connection = nullptr;
    _XCBKeySymbols* m_symbols = nullptr;
    uint32_t m_root = 0;
    QSocketNotifier* m_notifier = nullptr;
    bool m_grabbed = false;
    uint8_t m_keycode = 0;
    uint16_t m_modifiers = 0;
};
