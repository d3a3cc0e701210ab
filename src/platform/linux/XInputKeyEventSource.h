#pragma once

#include "platform/KeyEventSource.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

class QSocketNotifier;
struct _XDisplay;

// X11 keyboard listener: XInput2 raw key events on the root window (every application's keys,
// also during another client's grab), XKB state events for the Super modifier and the layout
// group, and XTest for the key-up. It uses an X connection of its own, read on the main loop
// through a socket notifier, so nothing waits on the server.
class XInputKeyEventSource final : public QObject, public KeyEventSource {
public:
    // `display`: the X display to use (empty: $DISPLAY). `wayland`: a Wayland session, whose
    // compatibility X server only sees the keys typed into X windows.
    XInputKeyEventSource(QByteArray display, bool wayland, QObject* parent = nullptr);
    ~XInputKeyEventSource() override;

    Trust trust() const override;
    QString unavailableReason() const override;
    bool install(std::function<void(const KeyEvent&)> handler) override;
    void uninstall() override;
    bool postKeyUp(qint64 keycode) override;

    // Whether `keysym` is one of the 26 letters (either case).
    static bool isLetterKeysym(unsigned long keysym);

private:
    void readEvents();
    // The capital of the letter the key gives, empty for any other key.
    QString letterLabel(unsigned keycode) const;
    void updateModifiers(unsigned mods);
    unsigned commandMask() const;

    QByteArray m_display;
    bool m_wayland;
    _XDisplay* m_dpy = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    std::function<void(const KeyEvent&)> m_handler;
    int m_xiOpcode = 0;
    int m_xkbEventBase = 0;
    int m_group = 0;
    bool m_commandDown = false;
    unsigned m_commandMask = 0;
    // Key-ups we posted, until the server hands them back to us: they are our own release,
    // not the user's. Keycode -> when posted (ms since epoch).
    QHash<unsigned, qint64> m_echoes;
};
