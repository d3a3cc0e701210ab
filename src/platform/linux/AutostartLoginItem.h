#pragma once

#include "platform/LoginItemService.h"

#include <QString>

// Launch at login through an XDG autostart entry ($XDG_CONFIG_HOME/autostart/veltranmoor.desktop).
// The file of that name is ours whatever its Exec line says (an older install wrote it with
// another path): unregistering removes it, registering replaces it. It counts as enabled only
// while it starts this executable and the desktop has not turned it off (Hidden=true, or
// X-GNOME-Autostart-enabled=false), which the controller then takes as the user's choice.
class AutostartLoginItem final : public LoginItemService {
public:
    explicit AutostartLoginItem(QString executablePath);

    static QString entryPath();  // read from the environment at each call

    // The Exec value for a program path, quoted and escaped for a desktop entry;
    // empty when the path cannot be expressed (control characters, not absolute).
    static QString execValue(const QString& program);

    // What login should start: the running binary when it is an installed one (it sits in a
    // bin folder); otherwise the installed copy on PATH or in ~/.local/bin when there is one,
    // so a build tree that gets cleaned is not what login depends on; else the running binary.
    static QString preferredExecutable(const QString& running);

    Status status() const override;
    ::Status registerItem() override;
    ::Status unregisterItem() override;
    bool startsAtLogin() const override;
    bool turnedOffByDesktop() const override;

private:
    struct Entry {
        bool exists = false;
        bool startsThisExecutable = false;
        bool turnedOff = false;
    };
    Entry read() const;

    QString m_executable;
};
