#include "optimisation/AIWorkloadMode.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/MainThread.h"
#include "core/Models.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorState.h"
#include "monitoring/Notifier.h"
#include "optimisation/CloudSyncPause.h"
#include "platform/ProcessControl.h"

#include <algorithm>

namespace {
bool containsAny(const QString& lowerName, const QStringList& fragments)
{
    return std::any_of(fragments.begin(), fragments.end(),
                       [&](const QString& f) { return lowerName.contains(f); });
}

}  // namespace

const QStringList& AIWorkloadMode::aiToolFragments()
{
    static const QStringList fragments = {
        QStringLiteral("cursor"),  QStringLiteral("claude"),    QStringLiteral("ollama"),   QStringLiteral("mlx"),
        QStringLiteral("xcode"),   QStringLiteral("chatgpt"),   QStringLiteral("whisper"),  QStringLiteral("lm studio"),
        QStringLiteral("lmstudio"), QStringLiteral("code helper"),
        // Local model servers and tools as Linux names them.
        QStringLiteral("llama-server"), QStringLiteral("llama-cli"), QStringLiteral("lm-studio"), QStringLiteral("koboldcpp"), QStringLiteral("text-generation"), QStringLiteral("comfyui"), QStringLiteral("invokeai"), QStringLiteral("aider")};
    return fragments;
}

const QStringList& AIWorkloadMode::competitorFragments()
{
    static const QStringList fragments = {
        QStringLiteral("spotify"),  QStringLiteral("slack"), QStringLiteral("discord"),        QStringLiteral("music"),
        QStringLiteral("messages"), QStringLiteral("mail"),  QStringLiteral("photoanalysisd"), QStringLiteral("mediaanalysisd"),
        // Linux mail, chat and indexing programs.
        QStringLiteral("thunderbird"), QStringLiteral("evolution"), QStringLiteral("telegram-desktop"), QStringLiteral("signal-desktop"), QStringLiteral("element-desktop"), QStringLiteral("tracker-miner"), QStringLiteral("baloo")};
    return fragments;
}

AIWorkloadMode::AIWorkloadMode(Collaborators collaborators, QObject* parent)
    : QObject(parent), m_c(std::move(collaborators))
{
}

void AIWorkloadMode::start()
{
    if (m_refreshTimer) return;
    m_refreshTimer = m_c.scheduler.every(secondsToMs(evaluateInterval), this, [this] { evaluate(); });
    evaluate();
}

void AIWorkloadMode::evaluate()
{
    if (!m_c.settings.aiWorkloadModeEnabled()) {
        if (m_isActive) deactivate(QStringLiteral("Setting disabled"));
        return;
    }
    if (const std::optional<QString> tool = detectAITool()) {
        // The running activation stands while the same tool leads; a different one starts anew.
        if (m_isActive && m_detectedAITool == *tool) return;
        activate(*tool);
        return;
    }
    if (m_isActive) deactivate(QStringLiteral("AI tool no longer running"));
}

std::optional<QString> AIWorkloadMode::detectAITool() const
{
    for (const ProcessInfoItem& p : m_c.monitor.topProcesses()) {
        if (containsAny(p.name.toLower(), aiToolFragments())) return p.name;
    }
    return std::nullopt;
}

void AIWorkloadMode::activate(const QString& tool)
{
    const QDateTime now = m_c.clock.now();
    const bool wasActive = m_isActive;
    m_isActive = true;
    m_detectedAITool = tool;
    m_lastActivation = now;
    m_competitorsThrottled.clear();
    if (!wasActive) Q_EMIT isActiveChanged(true);

    QList<ProcessInfoItem> competitors;
    for (const ProcessInfoItem& p : m_c.monitor.topProcesses()) {
        if (!p.isProtected && containsAny(p.name.toLower(), competitorFragments())) competitors.append(p);
    }

    const QString throttleDetail = QStringLiteral("AI Workload Mode (") + tool + QStringLiteral(")");
    for (const ProcessInfoItem& p : competitors) {
        const ProcessStatus lowered = m_c.processes.lowerPriority({p.pid, p.startTime}, ProcessOwner::thisUser);
        // Gone since the sample, or another user's: nothing was done, nothing is logged.
        if (lowered.leftAlone()) continue;
        QString detail = throttleDetail;
        if (lowered) {
            const QString name = p.name;
            postTo(this, [this, name] { m_c.incidents.recordIncident(name); });
            m_competitorsThrottled.append(p.name);
        } else {
            // A competitor left at its priority is not reported as throttled anywhere.
            detail += QStringLiteral(" \u2014 failed: ") + lowered.error();
        }
        const ActionRecord record = ActionRecord::make(ActionType::processThrottled, p.name, detail, now, true);
        postTo(this, [this, record] { m_c.monitor.logAction(record); });
    }
    const int throttled = int(m_competitorsThrottled.size());

    if (m_c.relieveMemory) m_c.relieveMemory();

    const qint64 minutes = std::max<qint64>(1, m_c.settings.aiWorkloadModePauseDurationMin());
    m_c.cloud.pause(double(minutes) * 60.0);

    postActivationNotification(tool, throttled);

    const ActionRecord summary = ActionRecord::make(ActionType::systemCheck, tool,
                                            QStringLiteral("AI Workload Mode active \u2014 throttled %1, cloud sync paused %2m")
                                                .arg(throttled)
                                                .arg(minutes),
                                            now, true);
    postTo(this, [this, summary] { m_c.monitor.logAction(summary); });
    Q_EMIT changed();
}

void AIWorkloadMode::deactivate(const QString& reason)
{
    if (!m_isActive) return;
    const QString tool = m_detectedAITool.value_or(QStringLiteral("Unknown"));
    const QDateTime now = m_c.clock.now();
    m_isActive = false;
    m_detectedAITool.reset();
    m_lastDeactivation = now;
    Q_EMIT isActiveChanged(false);

    const ActionRecord record =
        ActionRecord::make(ActionType::systemCheck, tool, QStringLiteral("AI Workload Mode ended \u2014 ") + reason, now, true);
    postTo(this, [this, record] { m_c.monitor.logAction(record); });
    Q_EMIT changed();
}

QString AIWorkloadMode::notificationBody(const QString& tool, int competitors)
{
    return QStringLiteral("Detected ") + tool + QStringLiteral(". Throttled ") + QString::number(competitors) +
           QStringLiteral(" competitor app") + (competitors == 1 ? QString() : QStringLiteral("s")) +
           QStringLiteral(", freed inactive memory, paused cloud sync.");
}

void AIWorkloadMode::postActivationNotification(const QString& tool, int competitors)
{
    if (!m_c.settings.notificationsEnabled()) return;
    m_c.notifier.notifyAIWorkloadActive(notificationBody(tool, competitors));
}
