#pragma once

#include "platform/LoginItemService.h"

#include <QString>

// Launch at login through an XDG autostart entry ($XDG_CONFIG_HOME/autostart/veltranmoor.desktop).
// The entry counts as ours only while its Exec line starts exactly this executable, so an entry
// someone else wrote is neither reported as enabled nor removed; registering replaces it.
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

private:
    bool isOurs(const QByteArray& contents, bool* enabled) const;

    QString m_executable;
};
