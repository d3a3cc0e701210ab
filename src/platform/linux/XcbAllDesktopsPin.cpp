#include "platform/linux/XcbAllDesktopsPin.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

constexpr uint32_t allDesktops = 0xFFFFFFFF;
constexpr uint32_t stateAdd = 1;
constexpr uint32_t sourceApplication = 1;
}  // namespace

XcbAllDesktopsPin::XcbAllDesktopsPin(QByteArray display, bool wayland) : m_display(std::move(display)), m_wayland(wayland) {}

XcbAllDesktopsPin::~XcbAllDesktopsPin()
{
    if (m_connection) xcb_disconnect(m_connection);
}

bool XcbAllDesktopsPin::connectDisplay()
{
    if (m_connection) return true;
    if (m_failed) return false;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(m_display.isEmpty() ? nullptr : m_display.constData(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        m_failed = true;
        std::fprintf(stderr, "[HUD] cannot open the X display; the panel stays on one desktop\n");
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    m_root = it.data ? it.data->root : 0;
    m_connection = c;
    return true;
}

uint32_t XcbAllDesktopsPin::atom(const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : 0;
}

void XcbAllDesktopsPin::pin(quintptr windowId)
{
    if (m_wayland || windowId == 0 || !connectDisplay()) return;
    const xcb_window_t window = xcb_window_t(windowId);
    const uint32_t netWmState = atom("_NET_WM_STATE");
    const uint32_t sticky = atom("_NET_WM_STATE_STICKY");
    const uint32_t desktop = atom("_NET_WM_DESKTOP");
    if (!netWmState || !sticky || !desktop) return;

    // The properties, for a window not mapped yet: the window manager reads them when it maps
    // the window. The toolkit adds its own states to the list and keeps this one.
    Reply<xcb_get_property_reply_t> current(
        xcb_get_property_reply(m_connection, xcb_get_property(m_connection, 0, window, netWmState, XCB_ATOM_ATOM, 0, 64),
                               nullptr),
        &std::free);
    bool present = false;
    if (current && current->format == 32) {
        const auto* atoms = static_cast<const uint32_t*>(xcb_get_property_value(current.get()));
        const int n = xcb_get_property_value_length(current.get()) / 4;
        for (int i = 0; i < n; ++i) present = present || atoms[i] == sticky;
    }
    if (!present)
        xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, window, netWmState, XCB_ATOM_ATOM, 32, 1, &sticky);
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);

    // The requests, for a window the window manager already manages.
    const auto send = [&](uint32_t type, std::initializer_list<uint32_t> data) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        int i = 0;
        for (uint32_t d : data) event.data.data32[i++] = d;
        xcb_send_event(m_connection, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    };
    send(netWmState, {stateAdd, sticky, 0, sourceApplication, 0});
    send(desktop, {allDesktops, sourceApplication, 0, 0, 0});
    // A round trip: the server has applied all of it before the toolkit maps the window.
    Reply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr),
                                            &std::free);
}
