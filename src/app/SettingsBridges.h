#pragma once

#include "ui/settings/SettingsServices.h"

#include <functional>

class AIShieldStatus;
class AppSettings;
class UpdateChecker;
class UserDataCenter;
class VRAXClient;

// The remote-control client's connection, as the VRAX page reads it.
class ClientVRAXFeed final : public VRAXStatusFeed {
    Q_OBJECT
public:
    explicit ClientVRAXFeed(VRAXClient& client, QObject* parent = nullptr);
    VRAXStatusView status() const override;

private:
    VRAXClient& m_client;
};

// The release check, as the My Data page reads it.
class CheckerUpdateFeed final : public UpdateFeed {
    Q_OBJECT
public:
    explicit CheckerUpdateFeed(UpdateChecker& checker, QObject* parent = nullptr);
    UpdateStateView state() const override;
    void fetchLatestRelease() override;
    void openDownloadPage() override;

private:
    UpdateChecker& m_checker;
};

// The user data centre, as the My Data page drives it: the export asks where to save first.
class CenterUserDataFeed final : public UserDataFeed {
    Q_OBJECT
public:
    CenterUserDataFeed(UserDataCenter& center, std::function<void(const QString&)> reveal, QObject* parent = nullptr);
    QString lastAction() const override;
    void exportMyData(QWidget* parent) override;
    void revealStoredData() override;
    QStringList storedItemPaths() const override;
    void resetSettings() override;
    void clearStoredData(std::function<void()> done) override;
    void storedDataSize(std::function<void(quint64)> done) override;
    void uninstallApp() override;

private:
    UserDataCenter& m_center;
    std::function<void(const QString&)> m_reveal;
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
