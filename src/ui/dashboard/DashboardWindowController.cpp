#include "ui/dashboard/DashboardWindowController.h"

#include "ui/dashboard/DetailedView.h"
#include "ui/WindowFit.h"

#include <QEvent>
#include <QUrl>

DashboardWindowController::DashboardWindowController(const DashboardEnvironment& env, QObject* parent)
    : QObject(parent), m_env(env)
{
}

DashboardWindowController::~DashboardWindowController()
{
    delete m_window;
}

void DashboardWindowController::open()
{
    if (m_window) {
        m_window->showNormal();
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    auto* window = new DetailedView(m_env);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(windowIdentifier);
    window->setWindowTitle(windowTitle);
    WindowFit::fit(*window, DetailedView::defaultWindowSize, DetailedView::minimumWindowSize);
    m_painted = false;
    window->installEventFilter(this);
    m_window = window;
    window->show();
    window->raise();
    window->activateWindow();
}

bool DashboardWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: the window may be half destroyed when other events arrive.
    if (event->type() == QEvent::Paint && !m_painted && watched == m_window) {
        m_painted = true;
        QMetaObject::invokeMethod(this, [this] { Q_EMIT firstFramePainted(); }, Qt::QueuedConnection);
    }
    if (event->type() == QEvent::Close && watched == m_window && event->isAccepted() && quitsOnClose()) {
        // Nothing could bring the dashboard back: closing it is quitting, in order.
        QMetaObject::invokeMethod(this, m_env.quit, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

bool DashboardWindowController::quitsOnClose() const
{
    return m_env.quit && m_env.trayHostPresent && !m_env.trayHostPresent();
}

bool DashboardWindowController::isDashboardURL(const QString& url)
{
    const QUrl u(url.trimmed(), QUrl::StrictMode);
    if (!u.isValid()) return false;
    return u.scheme().compare(QLatin1String("veltranmoor"), Qt::CaseInsensitive) == 0 &&
           u.host().compare(QLatin1String("dashboard"), Qt::CaseInsensitive) == 0 &&
           (u.path().isEmpty() || u.path() == QLatin1String("/")) && !u.hasQuery() && !u.hasFragment() &&
           u.userInfo().isEmpty() && u.port() == -1;
}

bool DashboardWindowController::handleRequest(const QString& request)
{
    if (!request.trimmed().isEmpty() && !isDashboardURL(request)) return false;
    open();
    return true;
}
