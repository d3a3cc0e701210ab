#include "guards/AIShieldV1.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Executor.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "guards/AIShield.h"
#include "guards/BoundaryPaths.h"
#include "guards/SnoozeTriggerSource.h"
#include "monitoring/Notifier.h"
#include "platform/OpenFilesReader.h"
#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString dash = QStringLiteral("\u2014");

QStringList fieldLines(const QString& output)
{
    return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A boundary as written and, when it leads through a link, where it really is: the kernel
// names open files by their real paths.
struct BoundaryRule {
    QString match;
    QString boundary;
};

QList<BoundaryRule> resolveBoundaries(const QStringList& boundaries)
{
    QList<BoundaryRule> rules;
    for (const QString& boundary : boundaries) {
        rules.append({boundary, boundary});
        const QString real = QFileInfo(boundary).canonicalFilePath();
        if (!real.isEmpty() && real != boundary) rules.append({real, boundary});
    }
    return rules;
}

}  // namespace

struct AIShieldV1::ScanResult {
    QList<AIOpenFile> files;
    QList<AINetworkEndpoint> endpoints;
    struct Match {
        int32_t pid;
        QString name;
        QString path;
        QString boundary;
    };
    QList<Match> matches;
};

AIShieldV1::AIShieldV1(Collaborators c, QObject* parent) : QObject(parent), m_c(c) {}

AIShieldV1::~AIShieldV1()
{
    if (m_lsofTimer) m_lsofTimer->cancel();
    if (m_quietHoursTimer) m_quietHoursTimer->cancel();
    if (m_snoozeToken) m_c.snooze.unobserve(*m_snoozeToken);
}

void AIShieldV1::appendLog(const QString& message) { m_c.shield.appendShieldLog(message); }

void AIShieldV1::start()
{
    if (m_lsofTimer) return;
    Log::line(QStringLiteral("[AIShieldV1] starting"));
    appendLog(QStringLiteral("=== AI Shield v1 session start ==="));
    QPointer<AIShieldV1> self(this);
    m_snoozeToken = m_c.snooze.observeLastTriggerAt([self](const std::optional<QDateTime>& at) {
        if (self) self->handleSnoozeFire(at);
    });
    scanOpenFilesAndEndpoints();
    m_lsofTimer = m_c.scheduler.every(lsofInterval, this, [this] { scanOpenFilesAndEndpoints(); });
    m_quietHoursTimer = m_c.scheduler.every(quietHoursTickInterval, this, [this] { quietHoursTick(); });
    quietHoursTick();
    m_isRunning = true;
    Q_EMIT changed();
}

void AIShieldV1::stop()
{
    if (m_lsofTimer) {
        m_lsofTimer->cancel();
        m_lsofTimer.reset();
    }
    if (m_quietHoursTimer) {
        m_quietHoursTimer->cancel();
        m_quietHoursTimer.reset();
    }
    if (m_snoozeToken) {
        m_c.snooze.unobserve(*m_snoozeToken);
        m_snoozeToken.reset();
    }
    resumePausedProcesses(QStringLiteral("AIShieldV1 stop"));
    if (m_isRunning) appendLog(QStringLiteral("=== AI Shield v1 session stop ==="));
    m_isRunning = false;
    Q_EMIT changed();
}

void AIShieldV1::scanOpenFilesAndEndpoints()
{
    // A scan still waiting for the tool is not joined; the next tick tries again.
    if (m_scanInFlight) return;
    const QList<AIProcessInfo> processes = m_c.shield.processes();
    if (processes.isEmpty()) {
        const bool hadAny = !m_openFiles.isEmpty() || !m_endpoints.isEmpty();
        m_openFiles.clear();
        m_endpoints.clear();
        if (hadAny) Q_EMIT changed();
        Q_EMIT scanFinished();
        return;
    }
    const QStringList boundaries = loadBoundaryPaths(m_c.settings);
    m_scanInFlight = true;
    QPointer<AIShieldV1> self(this);
    OpenFilesReader* reader = &m_c.reader;
    m_c.worker.async([self, reader, processes, boundaries] {
        const QList<BoundaryRule> rules = resolveBoundaries(boundaries);
        QStringList matchTexts;
        for (const BoundaryRule& rule : rules) matchTexts.append(rule.match);
        ScanResult result;
        for (const AIProcessInfo& process : processes) {
            const QList<AIOpenFile> files = parseLsofFiles(reader->openFilesFields(process.id), process.id);
            const QList<AINetworkEndpoint> endpoints =
                parseLsofEndpoints(reader->endpointFields(process.id), process.id, process.name);
            result.files.append(files);
            result.endpoints.append(endpoints);
            for (const AIOpenFile& file : files) {
                const std::optional<QString> matched = matchBoundary(file.path, matchTexts);
                if (!matched) continue;
                const auto rule = std::find_if(rules.cbegin(), rules.cend(),
                                               [&](const BoundaryRule& r) { return r.match == *matched; });
                result.matches.append({process.id, process.name, file.path, rule->boundary});
            }
        }
        if (self) {
            postTo(self.get(), [self, result = std::move(result)] {
                if (self) self->applyScan(result);
            });
        }
    });
}

void AIShieldV1::applyScan(const ScanResult& result)
{
    m_scanInFlight = false;
    for (const ScanResult::Match& m : result.matches) raiseBoundaryAlert(m.pid, m.name, m.path, m.boundary);
    m_openFiles = result.files;
    m_endpoints = result.endpoints;
    Q_EMIT changed();
    Q_EMIT scanFinished();
}

void AIShieldV1::raiseBoundaryAlert(int32_t pid, const QString& processName, const QString& openPath,
                                    const QString& boundary)
{
    const QString id = QString::number(pid) + QLatin1Char(':') + openPath;
    for (const AIBoundaryAlert& alert : std::as_const(m_boundaryAlerts)) {
        if (alert.id == id) return;
    }
    const AIBoundaryAlert alert{.id = id,
                                .pid = pid,
                                .processName = processName,
                                .openPath = openPath,
                                .boundary = boundary,
                                .observedAt = m_c.clock.now()};
    m_boundaryAlerts.prepend(alert);
    while (m_boundaryAlerts.size() > maxAlerts) m_boundaryAlerts.removeLast();
    m_lastBoundaryAlert = alert;

    const QString message = QStringLiteral("Boundary breach (advisory) ") + dash + QStringLiteral(" pid=") +
                            QString::number(pid) + QStringLiteral(" name=") + processName + QStringLiteral(" path=") +
                            openPath + QStringLiteral(" boundary=") + boundary;
    Log::line(QStringLiteral("[AIShieldV1] ") + message);
    appendLog(QStringLiteral("ALERT ") + message);
    m_c.shield.raiseShieldAlert(message);
    m_c.notifier.notifyBoundaryBreach(
        QStringLiteral("aishield-boundary-") + QString::number(pid) + QLatin1Char('-') +
            QString::number(m_c.clock.now().toSecsSinceEpoch()),
        QStringLiteral("AI Shield ") + dash + QStringLiteral(" boundary breach"),
        processName + QStringLiteral(" (pid ") + QString::number(pid) + QStringLiteral(") has ") + openPath +
            QStringLiteral(" open (boundary: ") + boundary + QStringLiteral(")."));
    Q_EMIT changed();
}

void AIShieldV1::suppressedPause(const QString& reason)
{
    appendLog(QStringLiteral("PAUSE-SUPPRESSED reason=") + reason + QLatin1Char(' ') + dash +
              QStringLiteral(" SIGSTOP disabled; AI Shield no longer freezes processes"));
}

void AIShieldV1::quietHoursTick()
{
    if (!isInQuietHours(m_c.clock.now(), m_c.settings)) {
        if (m_quietHoursActive) {
            m_quietHoursActive = false;
            Q_EMIT changed();
            if (!m_snoozePauseActive) resumePausedProcesses(QStringLiteral("quiet-hours end"));
        }
        return;
    }
    if (!m_quietHoursActive) {
        m_quietHoursActive = true;
        Q_EMIT changed();
        suppressedPause(QStringLiteral("quiet-hours start"));
    }
    suppressedPause(QStringLiteral("quiet-hours tick"));
}

void AIShieldV1::handleSnoozeFire(const std::optional<QDateTime>& lastTriggerAt)
{
    if (lastTriggerAt) {
        if (m_snoozePauseActive) return;
        m_snoozePauseActive = true;
        Q_EMIT changed();
        appendLog(QStringLiteral("INFO Snooze Guard fired ") + dash + QStringLiteral(" pausing AI processes"));
        suppressedPause(QStringLiteral("snooze fire"));
        return;
    }
    if (!m_snoozePauseActive) return;
    m_snoozePauseActive = false;
    Q_EMIT changed();
    if (!m_quietHoursActive) resumePausedProcesses(QStringLiteral("snooze cleared"));
}

void AIShieldV1::resumePausedProcesses(const QString& reason)
{
    for (int32_t pid : std::as_const(m_pausedPIDs)) {
        if (pid <= 1 || pid == ::getpid()) continue;
        if (::kill(pid, SIGCONT) == 0) {
            appendLog(QStringLiteral("RESUME pid=") + QString::number(pid) + QStringLiteral(" reason=") + reason);
        } else {
            appendLog(QStringLiteral("RESUME-FAIL pid=") + QString::number(pid) + QStringLiteral(" reason=") + reason +
                      QStringLiteral(" errno=") + QString::fromLocal8Bit(::strerror(errno)));
        }
    }
    m_pausedPIDs.clear();
}

void AIShieldV1::clearAlerts()
{
    m_boundaryAlerts.clear();
    m_lastBoundaryAlert.reset();
    Q_EMIT changed();
}

void AIShieldV1::resumeManually()
{
    m_snoozePauseActive = false;
    m_quietHoursActive = false;
    Q_EMIT changed();
    resumePausedProcesses(QStringLiteral("manual override"));
}

QList<AIOpenFile> AIShieldV1::parseLsofFiles(const QString& output, int32_t pid)
{
    QList<AIOpenFile> files;
    QString fd;
    for (const QString& line : fieldLines(output)) {
        const QChar tag = line.front();
        const QString value = line.mid(1);
        if (tag == QLatin1Char('f')) {
            fd = value;
        } else if (tag == QLatin1Char('n') && value.startsWith(QLatin1Char('/'))) {
            files.append(AIOpenFile{.id = QString::number(pid) + QLatin1Char(':') + value, .pid = pid, .path = value, .fd = fd});
        }
    }
    return files;
}

QList<AINetworkEndpoint> AIShieldV1::parseLsofEndpoints(const QString& output, int32_t pid, const QString& processName)
{
    QList<AINetworkEndpoint> endpoints;
    for (const QString& line : fieldLines(output)) {
        if (line.front() != QLatin1Char('n')) continue;
        const qsizetype arrow = line.indexOf(QStringLiteral("->"));
        if (arrow < 0) continue;
        const QString remote = line.mid(arrow + 2);
        if (remote.isEmpty()) continue;
        endpoints.append(AINetworkEndpoint{.id = QString::number(pid) + QLatin1Char(':') + remote,
                                           .pid = pid,
                                           .processName = processName,
                                           .remote = remote});
    }
    return endpoints;
}

std::optional<QString> AIShieldV1::matchBoundary(const QString& path, const QStringList& boundaries)
{
    const QString normalized = normalizeBoundaryPath(path);
    for (const QString& boundary : boundaries) {
        if (boundary.isEmpty()) continue;
        if (normalized == boundary) return boundary;
        // "/" holds everything; any other boundary holds what lies below it.
        const QString prefix = boundary.endsWith(QLatin1Char('/')) ? boundary : boundary + QLatin1Char('/');
        if (normalized.startsWith(prefix)) return boundary;
    }
    return std::nullopt;
}

bool AIShieldV1::isInQuietHours(const QDateTime& date, const AppSettings& settings)
{
    if (!settings.aiShieldQuietHoursEnabled()) return false;
    const qint64 start = std::clamp<qint64>(settings.aiShieldQuietHoursStartMin(), 0, 1439);
    const qint64 end = std::clamp<qint64>(settings.aiShieldQuietHoursEndMin(), 0, 1439);
    if (start == end) return false;
    const QTime local = date.toLocalTime().time();
    const qint64 now = qint64(local.hour()) * 60 + local.minute();
    if (start < end) return start <= now && now < end;
    return now >= start || now < end;
}

QString AIShieldV1::normalizeBoundaryPath(const QString& path)
{
    return BoundaryPaths::normalize(path, QDir::homePath());
}

QStringList AIShieldV1::defaultBoundaryPaths() { return BoundaryPaths::defaults(QDir::homePath()); }

QStringList AIShieldV1::loadBoundaryPaths(const AppSettings& settings)
{
    return BoundaryPaths::load(settings, QDir::homePath());
}

void AIShieldV1::saveBoundaryPaths(AppSettings& settings, const QStringList& paths)
{
    BoundaryPaths::save(settings, paths, QDir::homePath());
}

void AIShieldV1::addBoundaryPath(AppSettings& settings, const QString& path)
{
    BoundaryPaths::add(settings, path, QDir::homePath());
}

void AIShieldV1::removeBoundaryPath(AppSettings& settings, const QString& path)
{
    BoundaryPaths::remove(settings, path, QDir::homePath());
}
