#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// The whole keyboard as the stuck-key watcher hears it: key-downs and key-ups of every
// application, and changes of the Command (Super) modifier, delivered on the main thread.
// Listening only: events pass on to their applications unchanged.
class KeyEventSource {
public:
    struct KeyEvent {
        enum class Type { keyDown, keyUp, modifiersChanged };
        Type type = Type::keyDown;
        qint64 keycode = 0;
        // The key gives one of the 26 letters in the current layout.
        bool letter = false;
        // The key's label as its cap shows it ("A" for a letter), empty when not known.
        QString label;
        // Command (Super) held, for modifiersChanged.
        bool commandDown = false;
    };

    enum class Trust {
        trusted,
        notTrusted,   // may be granted later; ask again
        unavailable,  // never on this session (no way to listen at all)
    };

    virtual ~KeyEventSource() = default;

    virtual Trust trust() const = 0;
    // Why listening is unavailable, for the console; empty when it is available.
    virtual QString unavailableReason() const = 0;
    // Starts listening; false when the listener cannot be installed.
    virtual bool install(std::function<void(const KeyEvent&)> handler) = 0;
    virtual void uninstall() = 0;
    // Releases `keycode` on the user's behalf; false when no key-up could be made.
    virtual bool postKeyUp(qint64 keycode) = 0;
};
