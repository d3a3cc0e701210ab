#include "ui/theme/WindowExposure.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

bool isOnScreen(const QWidget* widget)
{
    if (!widget || !widget->isVisible()) return false;
    const QWindow* window = widget->window()->windowHandle();
    return window && window->isExposed();
}

ExposureWatch::ExposureWatch(QWidget* widget) : QObject(widget), m_widget(widget)
{
    widget->installEventFilter(this);
    hookWindow();
}

void ExposureWatch::hookWindow()
{
    QWindow* window = m_widget->window()->windowHandle();
    if (!window || window == m_window) return;
    if (m_window) m_window->removeEventFilter(this);
    m_window = window;
    window->installEventFilter(this);
}

bool ExposureWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget && event->type() == QEvent::Show) {
        hookWindow();
        if (isOnScreen(m_widget)) Q_EMIT cameOnScreen();
    } else if (watched == m_window && event->type() == QEvent::Expose) {
        // Filters run before the window handles the event: look once it has.
        QMetaObject::invokeMethod(this, [this] {
            if (isOnScreen(m_widget)) Q_EMIT cameOnScreen();
        }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
