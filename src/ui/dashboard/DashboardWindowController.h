#pragma once

#include "ui/dashboard/DashboardEnvironment.h"

#include <QObject>
#include <QPointer>

#include "ui/dashboard/DetailedView.h"

// Owns the dashboard window: opens it (or brings it forward), lets the user close it without
// quitting, and answers the "veltranmoor://dashboard" address. A closed window is destroyed, so
// a hidden dashboard costs nothing; opening it again builds it anew on the Overview tab.
class DashboardWindowController : public QObject {
    Q_OBJECT
public:
    static inline const QString windowIdentifier = QStringLiteral("detailed-dashboard");
    // Ends with the application's display name, which the window system would otherwise
    // append a second time.
    static inline const QString windowTitle = QStringLiteral("Dashboard — Veltranmoor AI");

    explicit DashboardWindowController(const DashboardEnvironment& env, QObject* parent = nullptr);
    ~DashboardWindowController() override;

    // The open window, or null.
    DetailedView* window() const { return m_window; }
    const DashboardEnvironment& environment() const { return m_env; }
    void open();

    // Whether `url` is the dashboard's address (scheme and host compared without case; an
    // empty path or "/" only).
    static bool isDashboardURL(const QString& url);
    // What another start of the application handed over: nothing (a plain second start) or
    // the dashboard's address opens the dashboard; anything else is ignored. Returns whether
    // it opened.
    bool handleRequest(const QString& request);
    // Whether closing the window quits the application: where no tray shows its icon.
    bool quitsOnClose() const;

Q_SIGNALS:
    // The window's first frame was painted (the start-up figure measures up to here).
    void firstFramePainted();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    DashboardEnvironment m_env;
    QPointer<DetailedView> m_window;
    bool m_painted = false;
};
