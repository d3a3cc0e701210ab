#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

// What the settings pages read of the services that own their settings, each as a narrow view
// with one change signal. The composition root hands the real services over through these.

// The remote-control client's connection, as the VRAX page shows it.
struct VRAXStatusView {
    enum class Kind { connected, error, disabled, connecting };
    Kind kind = Kind::disabled;
    QDateTime lastBeatAt;  // connected
    QString message;       // error
};

class VRAXStatusFeed : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual VRAXStatusView status() const = 0;
Q_SIGNALS:
    void changed();
};

// AI Shield's published state and its boundary-path store.
struct BoundaryAlertView {
    int32_t pid = 0;
    QString processName;
    QString openPath;
};

class AIShieldControls : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool quietHoursActive() const = 0;
    virtual void setQuietHoursActive(bool active) = 0;
    virtual void setSnoozePauseActive(bool active) = 0;
    virtual int aiProcessCount() const = 0;
    virtual int openFileCount() const = 0;
    virtual int endpointCount() const = 0;
    virtual std::optional<BoundaryAlertView> lastBoundaryAlert() const = 0;
    // Forgets every recorded alert and the last one.
    virtual void clearBoundaryAlerts() = 0;
    virtual void resumePausedProcesses(const QString& reason) = 0;

    // Never empty: an absent, empty or unreadable stored list reads as the defaults.
    virtual QStringList loadBoundaryPaths() const = 0;
    virtual void addBoundaryPath(const QString& path) = 0;
    virtual void removeBoundaryPath(const QString& path) = 0;
    virtual void saveBoundaryPaths(const QStringList& paths) = 0;
    virtual QStringList defaultBoundaryPaths() const = 0;
Q_SIGNALS:
    void changed();
};

// The release check.
struct UpdateStateView {
    enum class Kind { idle, checking, upToDate, updateAvailable, failed };
    Kind kind = Kind::idle;
    QString current;
    QString latest;
    QString url;
    QString message;
};

class UpdateFeed : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual UpdateStateView state() const = 0;
    virtual void fetchLatestRelease() = 0;
    virtual void openDownloadPage() = 0;
Q_SIGNALS:
    void changed();
};

// The user's data: export, restore, clear, uninstall. The slow ones answer on the main thread.
class UserDataFeed : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // The result text of the last data action; empty before the first.
    virtual QString lastAction() const = 0;
    // Asks where to save (a dialog over `parent`) and writes the export there.
    virtual void exportMyData(QWidget* parent) = 0;
    virtual void revealStoredData() = 0;
    // What uninstalling moves to the Trash, in order.
    virtual QStringList storedItemPaths() const = 0;
    virtual void resetSettings() = 0;
    virtual void clearStoredData(std::function<void()> done) = 0;
    virtual void storedDataSize(std::function<void(quint64)> done) = 0;
    virtual void uninstallApp() = 0;
Q_SIGNALS:
    void changed();
};
