#include "platform/linux/XInputKeyEventSource.h"

#include "core/Log.h"

#include <QDateTime>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// An echo of our key-up normally comes back at once; one that never came must not swallow a
// real release much later.
constexpr qint64 echoLifetimeMs = 1000;

// Xlib reports protocol errors through one process-wide handler whose default ends the
// process. Errors on our own connection are logged and survived; others go where they went.
XErrorHandler previousErrorHandler = nullptr;
Display* listenerDisplay = nullptr;

int onXError(Display* dpy, XErrorEvent* error)
{
    if (dpy == listenerDisplay) {
        Log::line(QStringLiteral("[SnoozeGuard] X error %1 on the key listener").arg(int(error->error_code)));
        return 0;
    }
    return previousErrorHandler ? previousErrorHandler(dpy, error) : 0;
}

}  // namespace

XInputKeyEventSource::XInputKeyEventSource(QByteArray display, bool wayland, QObject* parent)
    : QObject(parent), m_display(std::move(display)), m_wayland(wayland)
{
}

XInputKeyEventSource::~XInputKeyEventSource() { uninstall(); }

KeyEventSource::Trust XInputKeyEventSource::trust() const
{
    // On X11 any client may listen to the keyboard; there is no permission to wait for.
    return unavailableReason().isEmpty() ? Trust::trusted : Trust::unavailable;
}

QString XInputKeyEventSource::unavailableReason() const
{
    if (m_wayland) return QStringLiteral("Wayland sessions do not let applications watch the keyboard (needs X11)");
    if (m_display.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY")) return QStringLiteral("no X11 display");
    return {};
}

bool XInputKeyEventSource::install(std::function<void(const KeyEvent&)> handler)
{
    uninstall();
    Display* dpy = XOpenDisplay(m_display.isEmpty() ? nullptr : m_display.constData());
    if (!dpy) return false;

    int event = 0, error = 0, major = 2, minor = 2, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    int xtestEvent = 0, xtestError = 0, xtestMajor = 0, xtestMinor = 0, xkbOpcode = 0;
    const bool ok = XQueryExtension(dpy, "XInputExtension", &m_xiOpcode, &event, &error) &&
                    XIQueryVersion(dpy, &major, &minor) == Success &&
                    XTestQueryExtension(dpy, &xtestEvent, &xtestError, &xtestMajor, &xtestMinor) &&
                    XkbQueryExtension(dpy, &xkbOpcode, &m_xkbEventBase, &error, &xkbMajor, &xkbMinor);
    if (!ok) {
        XCloseDisplay(dpy);
        return false;
    }
    static const bool handlerInstalled = [] {
        previousErrorHandler = XSetErrorHandler(onXError);
        return true;
    }();
    Q_UNUSED(handlerInstalled);
    listenerDisplay = dpy;
    m_dpy = dpy;

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
    XkbSelectEventDetails(dpy, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask | XkbModifierStateMask,
                          XkbGroupStateMask | XkbModifierStateMask);

    m_commandMask = commandMask();
    XkbStateRec state{};
    if (XkbGetState(dpy, XkbUseCoreKbd, &state) == Success) {
        m_group = state.group;
        m_commandDown = (state.mods & m_commandMask) != 0;
    }
    m_handler = std::move(handler);
    if (m_commandDown) m_handler(KeyEvent{.type = KeyEvent::Type::modifiersChanged, .commandDown = true});

    m_notifier = new QSocketNotifier(ConnectionNumber(dpy), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XInputKeyEventSource::readEvents);
    XFlush(dpy);
    // The round trips above may have queued events already; the socket would not say so.
    QMetaObject::invokeMethod(this, &XInputKeyEventSource::readEvents, Qt::QueuedConnection);
    return true;
}

void XInputKeyEventSource::uninstall()
{
    if (m_notifier) {
        // This may run from the notifier's own signal (a key event that ends the watch).
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_handler = nullptr;
    m_echoes.clear();
    if (!m_dpy) return;
    XCloseDisplay(m_dpy);
    if (listenerDisplay == m_dpy) listenerDisplay = nullptr;
    m_dpy = nullptr;
}

bool XInputKeyEventSource::postKeyUp(qint64 keycode)
{
    if (!m_dpy || keycode < 8 || keycode > 255) return false;
    if (!XTestFakeKeyEvent(m_dpy, unsigned(keycode), False, CurrentTime)) return false;
    XFlush(m_dpy);
    m_echoes.insert(unsigned(keycode), QDateTime::currentMSecsSinceEpoch());
    return true;
}

bool XInputKeyEventSource::isLetterKeysym(unsigned long keysym)
{
    return (keysym >= XK_a && keysym <= XK_z) || (keysym >= XK_A && keysym <= XK_Z);
}

QString XInputKeyEventSource::letterLabel(unsigned keycode) const
{
    // The letter the key gives in the layout in use; a layout of another script (its first
    // group usually Latin) still watches the keys that carry the Latin letters there.
    for (int group : {m_group, 0}) {
        const unsigned long keysym = XkbKeycodeToKeysym(m_dpy, KeyCode(keycode), group, 0);
        if (isLetterKeysym(keysym)) {
            const char letter = char(keysym >= XK_a ? keysym - XK_a + 'A' : keysym - XK_A + 'A');
            return QString(QLatin1Char(letter));
        }
        if (m_group == 0) break;
    }
    return {};
}

// The modifier bit the Super keys set (Mod4 in every common keymap).
unsigned XInputKeyEventSource::commandMask() const
{
    unsigned mask = 0;
    if (XModifierKeymap* map = XGetModifierMapping(m_dpy)) {
        const KeyCode supers[] = {XKeysymToKeycode(m_dpy, XK_Super_L), XKeysymToKeycode(m_dpy, XK_Super_R)};
        for (int mod = 0; mod < 8; ++mod) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                const KeyCode code = map->modifiermap[mod * map->max_keypermod + k];
                for (KeyCode s : supers)
                    if (code && code == s) mask |= 1u << mod;
            }
        }
        XFreeModifiermap(map);
    }
    return mask ? mask : Mod4Mask;
}

void XInputKeyEventSource::updateModifiers(unsigned mods)
{
    const bool down = (mods & m_commandMask) != 0;
    if (down == m_commandDown) return;
    m_commandDown = down;
    if (m_handler) m_handler(KeyEvent{.type = KeyEvent::Type::modifiersChanged, .commandDown = down});
}

void XInputKeyEventSource::readEvents()
{
    while (m_dpy && XPending(m_dpy) > 0) {
        XEvent ev;
        XNextEvent(m_dpy, &ev);
        if (ev.type == GenericEvent && ev.xcookie.extension == m_xiOpcode && XGetEventData(m_dpy, &ev.xcookie)) {
            const int type = ev.xcookie.evtype;
            const unsigned keycode = unsigned(static_cast<XIRawEvent*>(ev.xcookie.data)->detail);
            XFreeEventData(m_dpy, &ev.xcookie);
            if (type != XI_RawKeyPress && type != XI_RawKeyRelease) continue;
            const bool down = type == XI_RawKeyPress;
            if (!down) {
                const auto echo = m_echoes.find(keycode);
                if (echo != m_echoes.end()) {
                    const bool ours = QDateTime::currentMSecsSinceEpoch() - echo.value() <= echoLifetimeMs;
                    m_echoes.erase(echo);
                    if (ours) continue;
                }
            }
            const QString label = letterLabel(keycode);
            KeyEvent e{.type = down ? KeyEvent::Type::keyDown : KeyEvent::Type::keyUp,
                       .keycode = qint64(keycode),
                       .letter = !label.isEmpty(),
                       .label = label};
            if (m_handler) m_handler(e);
        } else if (ev.type == m_xkbEventBase) {
            const auto* xkb = reinterpret_cast<const XkbEvent*>(&ev);
            if (xkb->any.xkb_type == XkbStateNotify) {
                m_group = xkb->state.group;
                updateModifiers(xkb->state.mods);
            }
        } else if (ev.type == MappingNotify) {
            XRefreshKeyboardMapping(&ev.xmapping);
            if (ev.xmapping.request == MappingModifier) m_commandMask = commandMask();
        }
    }
}
