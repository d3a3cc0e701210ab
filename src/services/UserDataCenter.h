#pragma once

#include "core/Result.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Clock;
class Executor;
class UserDefaults;

// The user's control over everything the application keeps: export as one JSON document, the
// stored size, restore defaults, clear the collected data into the Trash, and uninstall.
// Nothing is deleted outright. Called on the main thread; walks, reads, writes and moves run
// on the worker and their results come back to the main thread.
class UserDataCenter : public QObject {
    Q_OBJECT
public:
    static inline const QString exportFileName = QStringLiteral("Veltranmoor-my-data.json");
    // What survives a reset. The telemetry decision does not: a reset asks again.
    static inline const QSet<QString> preservedKeys{QStringLiteral("aiChatDisclosureAccepted")};

    struct Collaborators {
        UserDefaults& defaults;
        Executor& worker;
        const Clock& clock;
        QString executablePath;                         // the running program
        std::function<void(const QString&)> revealFile;  // selects a file in the file manager
        std::function<void()> quit;                      // ends the application in order
    };

    // How this copy of the application was installed, which decides what uninstall removes.
    enum class InstallKind {
        package,      // by the system's package manager: not removed here
        adminPrefix,  // by `make install` under a prefix the user cannot write: not removed here
        prefix,       // by `make install` under the user's own prefix: its files go too
        buildTree,    // run from its build folder: only the user's data and autostart entry go
    };

    // One thing uninstall moves to the Trash: `path`, opened from `root` as the Trash requires.
    struct StoredItem {
        QString root;
        QString path;
        bool operator==(const StoredItem&) const = default;
    };

    struct UninstallPlan {
        QString refusal;          // why nothing is removed; empty when the plan may run
        QList<StoredItem> items;  // the user's data first, the program's files last
    };

    explicit UserDataCenter(Collaborators c, QObject* parent = nullptr);
    static UserDataCenter& shared();

    // The result text of the last export, reset, clear or refused uninstall; empty at start.
    const QString& lastAction() const { return m_lastAction; }
    // The stored size last measured by refreshStoredBytes (0 before).
    quint64 storedBytes() const { return m_storedBytes; }
    bool busy() const { return m_busy; }

    static QString dataFolder();  // $XDG_DATA_HOME/Veltranmoor

    // Writes the export document to `path` (the settings window asks where). Sets lastAction
    // and shows the file in the file manager when it was written.
    void exportMyData(const QString& path);
    // Everything uninstall would move, in that order (each only when it exists).
    QStringList storedItemURLs() const;
    // Total allocated size of everything inside the data folder; walks on the calling thread.
    static quint64 storedDataSize(const QString& folder = dataFolder());
    // Measures on the worker, then publishes storedBytes.
    void refreshStoredBytes();
    // Removes every setting but the preserved ones; they read their defaults from now on.
    void resetSettings();
    // Moves the data folder's contents to the Trash; the folder itself stays.
    void clearStoredData();
    // Moves the stored items to the Trash and quits, once every manager has saved and gone;
    // a copy installed by the package manager or an administrator is refused with how to
    // remove it (lastAction), and nothing moves.
    void uninstallApp();

    // Writes the export document for these settings entries and data folder to `path`, piece by
    // piece as it is made (a file's content is read only while its entry is written). Work
    // Guard's revisions under Snapshots are listed with their size, never embedded.
    static Status writeExport(const QJsonObject& settings, const QString& folder, const QString& exportedAt,
                              const QString& path);
    static InstallKind installKind(const QString& executablePath);
    static UninstallPlan uninstallPlan(const QString& executablePath);
    // Moves the plan's items to the Trash (failures skipped); returns how many moved.
    static int carryOut(const UninstallPlan& plan);
    // Called by main once the application's managers are gone: runs an uninstall the user asked for.
    static void finishPendingUninstall();

Q_SIGNALS:
    void lastActionChanged();
    void storedBytesChanged();
    void busyChanged();

private:
    void setLastAction(const QString& text);
    void setBusy(bool busy);

    Collaborators m_c;
    QString m_lastAction;
    quint64 m_storedBytes = 0;
    bool m_busy = false;
};
