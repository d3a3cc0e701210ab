#pragma once

#include "ui/settings/SettingsServices.h"

class AIShieldStatus;
class AppSettings;

// What the settings window reads of the remote-control client until the client publishes its
// own connection: off is "disabled"; on, it has not answered yet.
class ClientVRAXFeed final : public VRAXStatusFeed {
    Q_OBJECT
public:
    explicit ClientVRAXFeed(AppSettings& settings, QObject* parent = nullptr);
    VRAXStatusView status() const override;

private:
    AppSettings& m_settings;
};

// AI Shield's side of the settings: the boundary paths in the settings store, the process count
// of the shield, and the v1 flags (nothing is paused or alerted until the v1 watcher runs).
class ShieldSettingsControls final : public AIShieldControls {
    Q_OBJECT
public:
    ShieldSettingsControls(AppSettings& settings, AIShieldStatus& shield, QString home, QObject* parent = nullptr);

    bool quietHoursActive() const override { return m_quietHoursActive; }
    void setQuietHoursActive(bool active) override;
    void setSnoozePauseActive(bool active) override;
    int aiProcessCount() const override;
    int openFileCount() const override { return 0; }
    int endpointCount() const override { return 0; }
    std::optional<BoundaryAlertView> lastBoundaryAlert() const override { return std::nullopt; }
    void clearBoundaryAlerts() override {}
    void resumePausedProcesses(const QString&) override {}

    QStringList loadBoundaryPaths() const override;
    void addBoundaryPath(const QString& path) override;
    void removeBoundaryPath(const QString& path) override;
    void saveBoundaryPaths(const QStringList& paths) override;
    QStringList defaultBoundaryPaths() const override;

    bool snoozePauseActive() const { return m_snoozePauseActive; }

private:
    AppSettings& m_settings;
    AIShieldStatus& m_shield;
    QString m_home;
    bool m_quietHoursActive = false;
    bool m_snoozePauseActive = false;
};
