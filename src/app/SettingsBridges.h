#pragma once

#include "guards/AIShieldV1.h"
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
// of the shield, and the boundary watch's counts, alert and pause flags when there is one.
class ShieldSettingsControls final : public AIShieldControls {
    Q_OBJECT
public:
    ShieldSettingsControls(AppSettings& settings, AIShieldStatus& shield, QString home, AIShieldV1* watch = nullptr,
                           QObject* parent = nullptr);

    bool quietHoursActive() const override;
    void setQuietHoursActive(bool active) override;
    void setSnoozePauseActive(bool active) override;
    int aiProcessCount() const override;
    int openFileCount() const override;
    int endpointCount() const override;
    std::optional<BoundaryAlertView> lastBoundaryAlert() const override;
    void clearBoundaryAlerts() override;
    void resumePausedProcesses(const QString& reason) override;

    QStringList loadBoundaryPaths() const override;
    void addBoundaryPath(const QString& path) override;
    void removeBoundaryPath(const QString& path) override;
    void saveBoundaryPaths(const QStringList& paths) override;
    QStringList defaultBoundaryPaths() const override;

    bool snoozePauseActive() const;

private:
    AppSettings& m_settings;
    AIShieldStatus& m_shield;
    QString m_home;
    AIShieldV1* m_watch = nullptr;
    bool m_quietHoursActive = false;
    bool m_snoozePauseActive = false;
};
