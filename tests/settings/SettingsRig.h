#pragma once

// The settings window over the dashboard rig's managers, with the real AutoPilot, permissions
// center (probing a private home), settings store and theme store, and small recording
// services where a page only hands a request on.
#include "actions/AutoPilot.h"
#include "app/SettingsBridges.h"
#include "guards/AIShieldStatus.h"
#include "platform/linux/LinuxPermissionProbes.h"
#include "services/TelemetryService.h"
#include "ui/DashboardRig.h"
#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/SettingsServices.h"
#include "ui/settings/SettingsView.h"
#include "ui/shell/PermissionsCenter.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTest>

namespace settings_rig {

struct RecordingTelemetry final : TelemetryService {
    bool eu = false;
    int starts = 0;
    bool isEURegion() const override { return eu; }
    void start() override { ++starts; }
    void presentConsentPrompt() override {}
};

struct NoShield final : AIShieldStatus {
    QList<AIProcessInfo> running;
    QList<AIProcessInfo> processes() const override { return running; }
    std::optional<QString> lastSuspiciousEvent() const override { return std::nullopt; }
    QString logPath() const override { return {}; }
};

// Records what the My Data page asks for; the sizes and texts are what the test sets.
struct RecordingUserData final : UserDataFeed {
    QStringList calls;
    QString last;
    quint64 size = 0;
    QStringList items;
    QString lastAction() const override { return last; }
    void exportMyData(QWidget*) override { calls << QStringLiteral("export"); }
    void revealStoredData() override { calls << QStringLiteral("reveal"); }
    QStringList storedItemPaths() const override { return items; }
    void resetSettings() override { calls << QStringLiteral("reset"); }
    void clearStoredData(std::function<void()> done) override
    {
        calls << QStringLiteral("clear");
        size = 0;
        last = QStringLiteral("Moved 2 stored items to the Trash.");
        Q_EMIT changed();
        done();
    }
    void storedDataSize(std::function<void(quint64)> done) override { done(size); }
    void uninstallApp() override { calls << QStringLiteral("uninstall"); }
};

// The remote-control client's status as a test publishes it.
struct ScriptedVRAX final : VRAXStatusFeed {
    VRAXStatusView now;
    VRAXStatusView status() const override { return now; }
    void publish(VRAXStatusView v)
    {
        now = std::move(v);
        Q_EMIT changed();
    }
};

struct RecordingUpdates final : UpdateFeed {
    UpdateStateView now;
    int fetches = 0;
    int opens = 0;
    UpdateStateView state() const override { return now; }
    void fetchLatestRelease() override
    {
        ++fetches;
        now.kind = UpdateStateView::Kind::checking;
        Q_EMIT changed();
    }
    void openDownloadPage() override { ++opens; }
};

struct Rig {
    dashboard_rig::Rig base;
    AutoPilot autoPilot{AutoPilot::Collaborators{base.settings, base.quiet, base.monitor, base.quiet, base.quiet,
                                                 base.clock, base.scheduler}};
    LinuxPermissionProbes probes{LinuxPermissionProbes::Roots{
        .journalDirs = {base.dir.filePath(QStringLiteral("journal"))},
        .inputDir = base.dir.filePath(QStringLiteral("input")),
        .wayland = false,
        .home = base.dir.filePath(QStringLiteral("home")),
        .userDirsConfig = base.dir.filePath(QStringLiteral("user-dirs.dirs")),
        .currentDesktop = QStringLiteral("none")}};
    PermissionsCenter permissions{probes, base.scheduler, base.clock};
    RecordingTelemetry telemetry;
    NoShield shieldStatus;
    ScriptedVRAX vrax;
    ShieldSettingsControls shield{base.settings, shieldStatus, base.dir.filePath(QStringLiteral("home"))};
    RecordingUserData userData;
    RecordingUpdates updates;
    QStringList snoozeCalls;

    Rig() { base.defaults.watchForExternalChanges(); }

    SettingsEnvironment env()
    {
        return SettingsEnvironment{
            .settings = base.settings,
            .defaults = base.defaults,
            .themeManager = base.themes,
            .profileManager = base.profiles,
            .autoPilot = autoPilot,
            .permissions = permissions,
            .incidents = base.processManager,
            .telemetry = telemetry,
            .clock = base.clock,
            .vrax = vrax,
            .aiShield = shield,
            .updates = &updates,
            .userData = &userData,
            .setSnoozeGuardEnabled =
                [this](bool on) {
                    snoozeCalls << (on ? QStringLiteral("on") : QStringLiteral("off"));
                    base.settings.setSnoozeGuardEnabled(on);
                },
            .makeWatcherPanel = {},
            .appVersion = QStringLiteral("4.2.1"),
        };
    }

    // What the settings file holds now, as another program would read it.
    QJsonObject stored() const
    {
        base.defaults.flush();
        QFile f(base.defaults.filePath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }
};

// A settings view shown at a usable size, as the window shows it.
struct Window {
    Rig& rig;
    SettingsEnvironment env;
    std::unique_ptr<SettingsView> view;

    explicit Window(Rig& r) : rig(r), env(r.env())
    {
        view = std::make_unique<SettingsView>(env);
        view->resize(860, 640);
        view->show();
        (void)QTest::qWaitForWindowExposed(view.get());
    }

    void open(SettingsSection section)
    {
        QTest::mouseClick(view->sidebarRow(section), Qt::LeftButton);
        dashboard_rig::settle();
    }

    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        return view->page() ? view->page()->findChild<T*>(name) : nullptr;
    }
};

}  // namespace settings_rig
