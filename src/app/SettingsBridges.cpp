#include "app/SettingsBridges.h"

#include "core/AppSettings.h"
#include "guards/AIShieldStatus.h"
#include "guards/BoundaryPaths.h"
#include "services/UpdateChecker.h"
#include "services/UserDataCenter.h"
#include "services/VRAXClient.h"

#include <QDir>
#include <QFileDialog>

#include <memory>

ClientVRAXFeed::ClientVRAXFeed(VRAXClient& client, QObject* parent) : VRAXStatusFeed(parent), m_client(client)
{
    connect(&client, &VRAXClient::statusChanged, this, &VRAXStatusFeed::changed);
}

VRAXStatusView ClientVRAXFeed::status() const
{
    const VRAXClient::Status& s = m_client.status();
    VRAXStatusView v;
    switch (s.kind) {
    case VRAXClient::Status::Kind::connected: v.kind = VRAXStatusView::Kind::connected; break;
    case VRAXClient::Status::Kind::error: v.kind = VRAXStatusView::Kind::error; break;
    case VRAXClient::Status::Kind::disabled: v.kind = VRAXStatusView::Kind::disabled; break;
    case VRAXClient::Status::Kind::connecting: v.kind = VRAXStatusView::Kind::connecting; break;
    }
    v.lastBeatAt = s.lastBeatAt;
    v.message = s.message;
    return v;
}

CheckerUpdateFeed::CheckerUpdateFeed(UpdateChecker& checker, QObject* parent) : UpdateFeed(parent), m_checker(checker)
{
    connect(&checker, &UpdateChecker::changed, this, &UpdateFeed::changed);
}

UpdateStateView CheckerUpdateFeed::state() const
{
    const UpdateChecker::State& s = m_checker.state();
    UpdateStateView v;
    switch (s.kind) {
    case UpdateChecker::State::Kind::upToDate: v.kind = UpdateStateView::Kind::upToDate; break;
    case UpdateChecker::State::Kind::updateAvailable: v.kind = UpdateStateView::Kind::updateAvailable; break;
    case UpdateChecker::State::Kind::failed: v.kind = UpdateStateView::Kind::failed; break;
    case UpdateChecker::State::Kind::idle: v.kind = UpdateStateView::Kind::idle; break;
    case UpdateChecker::State::Kind::checking: v.kind = UpdateStateView::Kind::checking; break;
    }
    v.current = s.current;
    v.latest = s.latest;
    v.url = s.url;
    v.message = s.message;
    return v;
}

void CheckerUpdateFeed::fetchLatestRelease() { m_checker.fetchLatestRelease(); }

void CheckerUpdateFeed::openDownloadPage() { m_checker.openDownloadPage(); }

CenterUserDataFeed::CenterUserDataFeed(UserDataCenter& center, std::function<void(const QString&)> reveal,
                                       QObject* parent)
    : UserDataFeed(parent), m_center(center), m_reveal(std::move(reveal))
{
    connect(&center, &UserDataCenter::lastActionChanged, this, &UserDataFeed::changed);
}

QString CenterUserDataFeed::lastAction() const { return m_center.lastAction(); }

void CenterUserDataFeed::exportMyData(QWidget* parent)
{
    const QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Export My Veltranmoor Data"),
        QDir::home().filePath(UserDataCenter::exportFileName), QStringLiteral("JSON (*.json)"));
    // Cancelled: nothing is written and no result line appears.
    if (path.isEmpty()) return;
    m_center.exportMyData(path);
}

void CenterUserDataFeed::revealStoredData()
{
    if (m_reveal) m_reveal(UserDataCenter::dataFolder());
}

QStringList CenterUserDataFeed::storedItemPaths() const { return m_center.storedItemURLs(); }

void CenterUserDataFeed::resetSettings() { m_center.resetSettings(); }

void CenterUserDataFeed::clearStoredData(std::function<void()> done)
{
    // The clearing runs on the centre's worker; `done` once it says it is no longer busy.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(&m_center, &UserDataCenter::busyChanged, this, [this, connection, done] {
        if (m_center.busy()) return;
        disconnect(*connection);
        if (done) done();
    });
    m_center.clearStoredData();
}

void CenterUserDataFeed::storedDataSize(std::function<void(quint64)> done)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(&m_center, &UserDataCenter::storedBytesChanged, this, [this, connection, done] {
        disconnect(*connection);
        if (done) done(m_center.storedBytes());
    });
    m_center.refreshStoredBytes();
}

void CenterUserDataFeed::uninstallApp() { m_center.uninstallApp(); }

ShieldSettingsControls::ShieldSettingsControls(AppSettings& settings, AIShieldStatus& shield, QString home,
                                               AIShieldV1* watch, QObject* parent)
    : AIShieldControls(parent), m_settings(settings), m_shield(shield), m_home(std::move(home)), m_watch(watch)
{
    if (m_watch) connect(m_watch, &AIShieldV1::changed, this, &AIShieldControls::changed);
}

bool ShieldSettingsControls::quietHoursActive() const
{
    return m_watch ? m_watch->quietHoursActive() : m_quietHoursActive;
}

bool ShieldSettingsControls::snoozePauseActive() const
{
    return m_watch ? m_watch->snoozePauseActive() : m_snoozePauseActive;
}

int ShieldSettingsControls::openFileCount() const { return m_watch ? int(m_watch->openFiles().size()) : 0; }

int ShieldSettingsControls::endpointCount() const { return m_watch ? int(m_watch->endpoints().size()) : 0; }

std::optional<BoundaryAlertView> ShieldSettingsControls::lastBoundaryAlert() const
{
    if (!m_watch) return std::nullopt;
    const auto alert = m_watch->lastBoundaryAlert();
    if (!alert) return std::nullopt;
    return BoundaryAlertView{alert->pid, alert->processName, alert->openPath};
}

void ShieldSettingsControls::clearBoundaryAlerts()
{
    if (m_watch) m_watch->clearAlerts();
}

// The page's Resume turns both flags off, then resumes with "manual override": the watch does
// the three in one step.
void ShieldSettingsControls::resumePausedProcesses(const QString& reason)
{
    if (!m_watch) return;
    if (reason == QStringLiteral("manual override")) {
        m_watch->resumeManually();
    } else {
        m_watch->resumePausedProcesses(reason);
    }
}

void ShieldSettingsControls::setQuietHoursActive(bool active)
{
    if (m_watch) return;  // the watch keeps its own flags; it clears them on resume
    if (active == m_quietHoursActive) return;
    m_quietHoursActive = active;
    Q_EMIT changed();
}

void ShieldSettingsControls::setSnoozePauseActive(bool active)
{
    if (m_watch) return;
    if (active == m_snoozePauseActive) return;
    m_snoozePauseActive = active;
    Q_EMIT changed();
}

int ShieldSettingsControls::aiProcessCount() const { return int(m_shield.processes().size()); }

QStringList ShieldSettingsControls::loadBoundaryPaths() const { return BoundaryPaths::load(m_settings, m_home); }

void ShieldSettingsControls::addBoundaryPath(const QString& path) { BoundaryPaths::add(m_settings, path, m_home); }

void ShieldSettingsControls::removeBoundaryPath(const QString& path) { BoundaryPaths::remove(m_settings, path, m_home); }

void ShieldSettingsControls::saveBoundaryPaths(const QStringList& paths)
{
    BoundaryPaths::save(m_settings, paths, m_home);
}

QStringList ShieldSettingsControls::defaultBoundaryPaths() const { return BoundaryPaths::defaults(m_home); }
