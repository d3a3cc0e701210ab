#pragma once

#include <QtGlobal>

// Keeps a window on every virtual desktop (workspace) of the session.
class AllDesktopsPin {
public:
    virtual ~AllDesktopsPin() = default;
    // Call with the native window id before the window is shown (the window manager reads the
    // request when it maps it) and again after (a window it manages already).
    virtual void pin(quintptr windowId) = 0;
};
