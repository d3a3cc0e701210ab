#include "ui/shell/LoginItemController.h"

#include "core/AppSettings.h"
#include "core/Log.h"
#include "core/UserDefaults.h"

LoginItemController::LoginItemController(AppSettings& settings, LoginItemService& service, QObject* parent)
    : QObject(parent), m_settings(settings), m_service(service)
{
}

void LoginItemController::start()
{
    // The desktop's session settings turned the entry off: that is the user's latest word, so
    // the setting follows it, and the entry is left as the desktop keeps it.
    if (m_service.turnedOffByDesktop() && m_settings.launchAtLogin()) {
        m_lastApplied = false;
        m_settings.setLaunchAtLogin(false);
    }
    apply();
    if (m_observer)
        return;
    // Queued: the store may be written from another thread, and the write-back below must not
    // re-enter apply while it is still running.
    m_observer = connect(&m_settings.defaults(), &UserDefaults::changed, this, [this] { apply(); },
                         Qt::QueuedConnection);
}

void LoginItemController::apply()
{
    const bool want = m_settings.launchAtLogin();
    // Every change of any key arrives here; only a change of this setting is acted on.
    if (m_lastApplied && *m_lastApplied == want)
        return;
    m_lastApplied = want;

    // On: this executable's entry, active. Off: nothing of ours starts at login, also an
    // older install's entry.
    if (want ? m_service.status() == LoginItemService::Status::enabled : !m_service.startsAtLogin())
        return;

    const Status result = want ? m_service.registerItem() : m_service.unregisterItem();
    if (result.ok())
        return;

    Log::line(QStringLiteral("LoginItemController register/unregister failed: ") + result.error()
              + QStringLiteral(" (svc.status=") + QString::number(static_cast<int>(m_service.status()))
              + QStringLiteral(")"));

    const bool isOn = m_service.status() == LoginItemService::Status::enabled;
    if (isOn == want)
        return;
    m_lastApplied = isOn;
    m_settings.setLaunchAtLogin(isOn);
}
