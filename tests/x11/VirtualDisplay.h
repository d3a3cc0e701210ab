#pragma once

#include <QByteArray>
#include <QStringList>
#include <sys/types.h>

#include <functional>

// An X server of this test process alone (Xvfb on a display number it picks itself, no TCP), so
// key grabs and tray windows never meet those of tests running alongside.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool isValid() const { return !m_name.isEmpty(); }
    // ":N".
    const QByteArray& name() const { return m_name; }

    static VirtualDisplay* current();

private:
    pid_t m_pid = -1;
    QByteArray m_name;
};

// Runs xdotool on the test's display; its exit status.
int xdotool(const QStringList& arguments);

// Runs the event loop until `condition` holds; false when `ms` passed first.
bool waitFor(const std::function<bool()>& condition, int ms = 5000);
