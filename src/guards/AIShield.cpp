#include "guards/AIShield.h"

#include "core/Clock.h"
#include "core/Executor.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "guards/CommandRedaction.h"
#include "platform/ProcessInventory.h"

#include <QPointer>
#include <QTimeZone>

namespace {
const QString dash = QStringLiteral("\u2014");
}  // namespace

// What one poll hands the next. Lives on the queue; the shield only holds it for its work.
struct AIShield::PollState {
    QSet<int32_t> seenPIDs;
    // Processes already alerted for sudo, by pid and start time, so each is alerted once.
    QSet<QPair<int32_t, qint64>> sudoAlerted;
};

AIShield::AIShield(Collaborators c, QObject* parent)
    : QObject(parent), m_c(std::move(c)), m_log(m_c.logPath, m_c.clock, m_c.queue),
      m_poll(std::make_shared<PollState>())
{
}

AIShield::~AIShield()
{
    if (m_pollTimer) m_pollTimer->cancel();
}

const QStringList& AIShield::aiSignatures()
{
    static const QStringList signatures = {
        QStringLiteral("cursor"),      QStringLiteral("claude"),       QStringLiteral("ollama"),
        QStringLiteral("mlx"),         QStringLiteral("chatgpt"),      QStringLiteral("whisper"),
        QStringLiteral("lm studio"),   QStringLiteral("lmstudio"),     QStringLiteral("code helper"),
        QStringLiteral("anthropic"),   QStringLiteral("openai"),       QStringLiteral("llama"),
        QStringLiteral("perplexity"),
        // Linux tools
        QStringLiteral("llama-server"), QStringLiteral("llama-cli"),   QStringLiteral("lm-studio"),
        QStringLiteral("koboldcpp"),   QStringLiteral("text-generation"), QStringLiteral("comfyui"),
        QStringLiteral("invokeai"),    QStringLiteral("aider"),
    };
    return signatures;
}

bool AIShield::matchesSignature(const QString& processName)
{
    const QString lower = processName.toLower();
    for (const QString& signature : aiSignatures()) {
        if (lower.contains(signature)) return true;
    }
    return false;
}

bool AIShield::invokesSudo(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument.compare(QLatin1String("sudo"), Qt::CaseInsensitive) == 0) return true;
        if (argument.endsWith(QLatin1String("/sudo"), Qt::CaseInsensitive)) return true;
    }
    return false;
}

void AIShield::start()
{
    if (m_pollTimer) return;
    Log::line(QStringLiteral("[AIShield] starting"));
    appendShieldLog(QStringLiteral("=== AI Shield session start ==="));
    diffAndLogProcesses();
    m_pollTimer = m_c.scheduler.every(pollInterval, this, [this] { diffAndLogProcesses(); });
    m_isRunning = true;
    Q_EMIT isRunningChanged();
    if (m_boundaryWatch) {
        Lifecycle* watch = m_boundaryWatch;
        postTo(this, [watch] { watch->start(); });
    }
}

void AIShield::stop()
{
    if (m_pollTimer) {
        m_pollTimer->cancel();
        m_pollTimer.reset();
    }
    if (m_isRunning) appendShieldLog(QStringLiteral("=== AI Shield session stop ==="));
    m_isRunning = false;
    Q_EMIT isRunningChanged();
    // At once, not a turn later: at shutdown no later turn comes, and its closing line must
    // still reach the log.
    if (m_boundaryWatch) m_boundaryWatch->stop();
}

void AIShield::diffAndLogProcesses()
{
    QPointer<AIShield> self(this);
    ProcessInventory* inventory = &m_c.inventory;
    ShieldLog log = m_log;
    m_c.queue.async([self, inventory, log, state = m_poll]() mutable {
        QList<AIProcessInfo> current;
        QHash<int32_t, bool> sudo;
        if (const auto table = inventory->listProcesses()) {
            for (const ProcessBrief& p : *table) {
                if (p.pid <= 0 || !matchesSignature(p.name)) continue;
                const std::optional<QStringList> args = inventory->arguments(p.pid);
                current.append(AIProcessInfo{
                    .id = p.pid,
                    .name = p.name,
                    .command = args ? CommandRedaction::redactArguments(*args) : p.name,
                    .startedAt = QDateTime::fromSecsSinceEpoch(p.startedAtSecs, QTimeZone::utc()),
                });
                sudo.insert(p.pid, args && invokesSudo(*args));
            }
        }
        QSet<int32_t> currentPIDs;
        for (const AIProcessInfo& p : current) currentPIDs.insert(p.id);
        for (const AIProcessInfo& p : current) {
            if (!state->seenPIDs.contains(p.id)) {
                log.append(QStringLiteral("START pid=") + QString::number(p.id) + QStringLiteral(" name=") + p.name +
                           QStringLiteral(" cmd=") + p.command);
            }
        }
        for (int32_t pid : std::as_const(state->seenPIDs)) {
            if (!currentPIDs.contains(pid)) log.append(QStringLiteral("STOP  pid=") + QString::number(pid));
        }
        QStringList sudoMessages;
        QSet<QPair<int32_t, qint64>> alive;
        for (const AIProcessInfo& p : current) {
            const QPair<int32_t, qint64> key(p.id, p.startedAt.toSecsSinceEpoch());
            alive.insert(key);
            if (!sudo.value(p.id) || state->sudoAlerted.contains(key)) continue;
            state->sudoAlerted.insert(key);
            const QString message = QStringLiteral("Suspicious sudo invocation by AI process ") + dash +
                                    QStringLiteral(" pid=") + QString::number(p.id) + QStringLiteral(" name=") + p.name +
                                    QStringLiteral(" cmd=") + p.command;
            Log::line(QStringLiteral("[AIShield] ") + message);
            log.append(QStringLiteral("ALERT ") + message);
            sudoMessages.append(message);
        }
        state->sudoAlerted.intersect(alive);
        state->seenPIDs = currentPIDs;
        if (self) {
            postTo(self.data(), [self, current = std::move(current), sudoMessages = std::move(sudoMessages)]() mutable {
                if (self) self->publish(std::move(current), std::move(sudoMessages));
            });
        }
    });
}

void AIShield::publish(QList<AIProcessInfo> processes, QStringList sudoMessages)
{
    if (processes != m_processes) {
        m_processes = std::move(processes);
        Q_EMIT processesChanged();
    }
    for (const QString& message : sudoMessages) setSuspicious(message);
}

void AIShield::setSuspicious(const QString& message)
{
    m_lastSuspiciousEvent = message;
    m_lastSuspiciousAt = m_c.clock.now();
    Q_EMIT suspiciousEventRaised();
}

void AIShield::raiseShieldAlert(const QString& message)
{
    appendShieldLog(QStringLiteral("ALERT ") + message);
    QPointer<AIShield> self(this);
    postTo(this, [self, message] {
        if (self) self->setSuspicious(message);
    });
}
