#include "ui/shell/HotkeyManager.h"

#include "core/Log.h"
#include "core/UserDefaults.h"
#include "platform/GlobalShortcut.h"

#include <QPointer>

HotkeyManager::HotkeyManager(UserDefaults& defaults, GlobalShortcut& shortcut, std::function<void()> toggleHUD,
                             QObject* parent)
    : QObject(parent), m_defaults(defaults), m_shortcut(shortcut), m_toggleHUD(std::move(toggleHUD))
{
    QPointer<HotkeyManager> self(this);
    // The press is handed on after the event is read, on the main loop.
    m_shortcut.onPressed = [self] {
        QMetaObject::invokeMethod(
            self, [self] { if (self && self->m_toggleHUD) self->m_toggleHUD(); }, Qt::QueuedConnection);
    };
}

void HotkeyManager::start()
{
    if (!m_started) {
        m_started = true;
        connect(&m_defaults, &UserDefaults::changed, this,
                [this](const QString& key) {
                    if (key == hotkeyKey) registerChoice(m_defaults.getString(hotkeyKey).value_or(QStringLiteral("off")));
                },
                Qt::QueuedConnection);
    }
    registerChoice(m_defaults.getString(hotkeyKey).value_or(QStringLiteral("off")));
}

void HotkeyManager::registerChoice(const QString& id)
{
    if (m_registered) {
        m_shortcut.release();
        m_registered.reset();
    }
    const HotkeyChoice choice = HotkeyChoice::find(id);
    if (choice == HotkeyChoice::off()) return;
    if (!m_shortcut.isAvailable()) {
        if (!m_toldUnavailable)
            Log::line(QStringLiteral("[Hotkey] Global shortcuts are not available under Wayland; the HUD hotkey stays off"));
        m_toldUnavailable = true;
        return;
    }
    const int status = m_shortcut.grab(choice.keysym, choice.modifiers);
    if (status != 0) {
        Log::line(QStringLiteral("[Hotkey] XGrabKey failed: ") + QString::number(status));
        return;
    }
    m_registered = choice;
}
