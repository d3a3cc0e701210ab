#pragma once

#include <QObject>
#include <QString>

#include <functional>

enum class PermissionState { granted, denied, notDetermined };

// What the permissions center asks of the system. Probes have no side effects.
class PermissionProbes {
public:
    enum class Folder { desktop, documents, downloads };

    virtual ~PermissionProbes() = default;
    virtual PermissionState fullDiskAccess() const = 0;
    virtual PermissionState accessibility() const = 0;
    virtual QString folderPath(Folder folder) const = 0;
    // Missing: notDetermined; listable and writable: granted; otherwise denied.
    virtual PermissionState folder(Folder folder) const = 0;
    // Answers later, on `context`'s thread.
    virtual void notifications(QObject* context, std::function<void(PermissionState)> answer) = 0;
    // Opens the desktop's settings at `pane`; false where no settings application is known.
    virtual bool openSettings(const QString& pane) = 0;
    // Shows `path` selected in the desktop's file manager.
    virtual void showInFiles(const QString& path) = 0;
};
