#pragma once

#include <cstdint>
#include <functional>

// One system-wide key combination, delivered to the application wherever the focus is.
class GlobalShortcut {
public:
    enum Modifier : uint32_t { super = 1, alt = 2, control = 4, shift = 8 };

    virtual ~GlobalShortcut() = default;
    // False where the session offers no global shortcuts (Wayland).
    virtual bool isAvailable() const = 0;
    // Replaces the grabbed combination by `keysym` (an X keysym, e.g. 0x68 for "h") with exactly
    // these modifiers. 0 on success, else a failure status (the X error code, or -1 when there is
    // no display); nothing stays grabbed after a failure.
    virtual int grab(uint32_t keysym, uint32_t modifiers) = 0;
    virtual void release() = 0;
    // Called on the owner's thread for every press of the grabbed combination.
    std::function<void()> onPressed;
};
