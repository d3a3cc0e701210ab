#pragma once

#include "platform/AllDesktopsPin.h"

#include <QByteArray>

#include <cstdint>

struct xcb_connection_t;

// X11: the window asks for the sticky state and desktop 0xFFFFFFFF (all desktops), as the
// freedesktop window-manager hints define them, through a connection of its own. Under
// Wayland there is no such request; nothing happens.
class XcbAllDesktopsPin final : public AllDesktopsPin {
public:
    XcbAllDesktopsPin(QByteArray display, bool wayland);
    ~XcbAllDesktopsPin() override;
    XcbAllDesktopsPin(const XcbAllDesktopsPin&) = delete;
    XcbAllDesktopsPin& operator=(const XcbAllDesktopsPin&) = delete;

    void pin(quintptr windowId) override;

private:
    bool connectDisplay();
    uint32_t atom(const char* name);

    QByteArray m_display;
    bool m_wayland;
    bool m_failed = false;
    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
};
