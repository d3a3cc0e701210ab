#pragma once

#include "core/Lifecycle.h"
#include "platform/LoginItemService.h"

#include <QMetaObject>
#include <QObject>

#include <optional>

class AppSettings;

// Keeps the launch-at-login registration equal to the "launchAtLogin" setting. When the system
// refuses a change, the setting is set back to what the system really does, so the switch in
// the settings window never claims a state that is not in effect.
class LoginItemController final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    LoginItemController(AppSettings& settings, LoginItemService& service, QObject* parent = nullptr);

    static LoginItemController& shared();

    // Applies the setting once, then again after every change of the settings store.
    void start() override;
    void apply();

    std::optional<bool> lastApplied() const { return m_lastApplied; }

private:
    AppSettings& m_settings;
    LoginItemService& m_service;
    QMetaObject::Connection m_observer;
    std::optional<bool> m_lastApplied;
};
