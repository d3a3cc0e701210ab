#include "platform/linux/XcbGlobalShortcut.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace {

constexpr uint32_t numLockKeysym = 0xff7f;  // XK_Num_Lock
constexpr uint16_t lockMask = XCB_MOD_MASK_LOCK;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

uint16_t xModifiers(uint32_t modifiers)
{
    uint16_t mask = 0;
    if (modifiers & GlobalShortcut::super) mask |= XCB_MOD_MASK_4;
    if (modifiers & GlobalShortcut::alt) mask |= XCB_MOD_MASK_1;
    if (modifiers & GlobalShortcut::control) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & GlobalShortcut::shift) mask |= XCB_MOD_MASK_SHIFT;
    return mask;
}

}  // namespace

XcbGlobalShortcut::XcbGlobalShortcut(QByteArray display, bool wayland, QObject* parent)
    : QObject(parent), m_display(std::move(display)), m_wayland(wayland)
{
}

XcbGlobalShortcut::~XcbGlobalShortcut()
{
    release();
    delete m_notifier;
    if (m_symbols) xcb_key_symbols_free(m_symbols);
    if (m_connection) xcb_disconnect(m_connection);
}

bool XcbGlobalShortcut::isWaylandSession()
{
    if (qgetenv("XDG_SESSION_TYPE") == "wayland") return true;
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("DISPLAY");
}

bool XcbGlobalShortcut::connectDisplay()
{
    if (m_connection) return true;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(m_display.isEmpty() ? nullptr : m_display.constData(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return false;
    }
    m_connection = c;
    m_root = it.data->root;
    m_symbols = xcb_key_symbols_alloc(c);
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XcbGlobalShortcut::readEvents);
    return true;
}

uint16_t XcbGlobalShortcut::numLockMask()
{
    XcbReply<xcb_keycode_t> numLock(xcb_key_symbols_get_keycode(m_symbols, numLockKeysym));
    if (!numLock) return 0;
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (!mapping) return 0;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int mod = 0; mod < 8; ++mod) {
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t code = codes[mod * perModifier + k];
            if (code == XCB_NO_SYMBOL) continue;
            for (const xcb_keycode_t* n = numLock.get(); *n != XCB_NO_SYMBOL; ++n)
                if (*n == code) return uint16_t(1u << mod);
        }
    }
    return 0;
}

int XcbGlobalShortcut::grab(uint32_t keysym, uint32_t modifiers)
{
    release();
    if (m_wayland || !connectDisplay()) return -1;
    XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(m_symbols, keysym));
    if (!codes || codes.get()[0] == XCB_NO_SYMBOL) return XCB_VALUE;
    m_keycode = codes.get()[0];
    m_modifiers = xModifiers(modifiers);

    std::vector<uint16_t> done;
    for (uint16_t extra : variants()) {
        const uint16_t mask = m_modifiers | extra;
        if (std::find(done.begin(), done.end(), mask) != done.end()) continue;
        xcb_void_cookie_t cookie = xcb_grab_key_checked(m_connection, 1, m_root, mask, m_keycode, XCB_GRAB_MODE_ASYNC,
                                                        XCB_GRAB_MODE_ASYNC);
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
        if (error) {
            // Another client holds the combination: take back what this one got.
            for (uint16_t m : done) xcb_ungrab_key(m_connection, m_keycode, m_root, m);
            xcb_flush(m_connection);
            return error->error_code;
        }
        done.push_back(mask);
    }
    m_grabbed = true;
    xcb_flush(m_connection);
    return 0;
}

void XcbGlobalShortcut::release()
{
    if (!m_grabbed || !m_connection) return;
    for (uint16_t extra : variants()) xcb_ungrab_key(m_connection, m_keycode, m_root, m_modifiers | extra);
    xcb_flush(m_connection);
    m_grabbed = false;
}

void XcbGlobalShortcut::readEvents()
{
    if (!m_connection) return;
    const uint16_t relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
        XcbReply<xcb_generic_event_t> event(raw);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS) continue;
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
        if (m_grabbed && press->detail == m_keycode && (press->state & relevant) == m_modifiers && onPressed) onPressed();
    }
}
