#pragma once

#include "platform/PermissionProbes.h"

#include <QStringList>

// Linux has no permission prompts; what a permission stands for is probed directly:
// "full disk access" is the system journal being readable, "accessibility" is an X11 session
// (or, under Wayland, a readable /dev/input/event*), the folders are the XDG user folders, and
// notifications are granted when the notification server answers.
class LinuxPermissionProbes final : public PermissionProbes {
public:
    struct Roots {
        QStringList journalDirs{QStringLiteral("/var/log/journal"), QStringLiteral("/run/log/journal")};
        QString inputDir = QStringLiteral("/dev/input");
        bool wayland = false;
        QString home;            // empty: the user's home
        QString userDirsConfig;  // empty: $XDG_CONFIG_HOME/user-dirs.dirs
        // The settings applications by desktop; each gets the pane as its argument.
        QString currentDesktop;  // empty: $XDG_CURRENT_DESKTOP
    };

    explicit LinuxPermissionProbes(Roots roots);

    PermissionState fullDiskAccess() const override;
    PermissionState accessibility() const override;
    QString folderPath(Folder folder) const override;
    PermissionState folder(Folder folder) const override;
    void notifications(QObject* context, std::function<void(PermissionState)> answer) override;
    bool openSettings(const QString& pane) override;
    void showInFiles(const QString& path) override;

    // The settings program and its arguments for a pane on a desktop; empty when none is known.
    static QStringList settingsCommand(const QString& desktop, const QString& pane);

private:
    Roots m_roots;
};
