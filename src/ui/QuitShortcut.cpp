#include "ui/QuitShortcut.h"

#include <QCoreApplication>
#include <QKeyEvent>

QuitShortcut::QuitShortcut(std::function<void()> quit, QObject* parent) : QObject(parent), m_quit(std::move(quit))
{
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

QuitShortcut::~QuitShortcut()
{
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool QuitShortcut::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_Q && modifiers == Qt::ControlModifier) {
            if (!key->isAutoRepeat() && m_quit) QMetaObject::invokeMethod(this, m_quit, Qt::QueuedConnection);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
