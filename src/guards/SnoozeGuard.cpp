#include "guards/SnoozeGuard.h"

#include "core/CFormat.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Log.h"

#include <QTimeZone>

#include <algorithm>

namespace {

QString word(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

}  // namespace

SnoozeGuard::SnoozeGuard(const Clock& clock, AppSettings& settings, SnoozeWatcher& drowsiness, SnoozeWatcher& stuckKey,
                         SnoozeAlertPresenter& alert, QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_settings(settings),
      m_drowsiness(drowsiness),
      m_stuckKey(stuckKey),
      m_alert(alert)
{
    qRegisterMetaType<DrowsyEvent>();
    qRegisterMetaType<StuckKeyEvent>();
    // The watchers publish their findings on typed signals of their own classes; a connection
    // ends by itself when either side is destroyed, so a late event never reaches a dead guard.
    const bool drowsy = connect(&m_drowsiness, SIGNAL(eventOccurred(DrowsyEvent)), this, SLOT(handleDrowsyEvent(DrowsyEvent)));
    const bool stuck = connect(&m_stuckKey, SIGNAL(eventOccurred(StuckKeyEvent)), this, SLOT(handleStuckKeyEvent(StuckKeyEvent)));
    Q_ASSERT(drowsy && stuck);
    Q_UNUSED(drowsy);
    Q_UNUSED(stuck);
    for (SnoozeWatcher* w : {&m_drowsiness, &m_stuckKey}) {
        connect(w, &SnoozeWatcher::isRunningChanged, this, &SnoozeGuard::statusChanged);
        connect(w, &SnoozeWatcher::permissionDeniedChanged, this, &SnoozeGuard::statusChanged);
        connect(w, &SnoozeWatcher::failureChanged, this, &SnoozeGuard::statusChanged);
    }
}

SnoozeGuard::~SnoozeGuard() = default;

QString SnoozeGuard::logTime(const QDateTime& time)
{
    return time.toTimeZone(QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

void SnoozeGuard::start()
{
    if (!m_settings.snoozeGuardEnabled()) {
        Log::line(QStringLiteral("[SnoozeGuard] disabled via AppSettings.snoozeGuardEnabled \u2014 skip"));
        m_alert.dismiss();
        m_drowsiness.stop();
        m_stuckKey.stop();
        setIsRunning(false);
        return;
    }
    if (m_isRunning) {
        Log::line(QStringLiteral("[SnoozeGuard] already running, skip"));
        return;
    }
    Log::line(QStringLiteral("[SnoozeGuard] starting watchdogs"));
    m_drowsiness.start();
    m_stuckKey.start();
    setIsRunning(true);
    Log::line(QStringLiteral("[SnoozeGuard] running drowsy=") + word(m_drowsiness.isRunning()) + QStringLiteral(" stuck=") +
              word(m_stuckKey.isRunning()) + QStringLiteral(" cam.denied=") + word(m_drowsiness.permissionDenied()) +
              QStringLiteral(" ax.denied=") + word(m_stuckKey.permissionDenied()));
}

void SnoozeGuard::setEnabled(bool enabled)
{
    m_settings.setSnoozeGuardEnabled(enabled);
    if (enabled) {
        start();
        return;
    }
    m_recentAlertTimestamps.clear();
    setEscalationLevel(0);
    m_pauseUntil.reset();
    m_drowsiness.stop();
    m_stuckKey.stop();
    m_alert.dismiss();
    setIsRunning(false);
}

void SnoozeGuard::fire(const QString& reason)
{
    const QDateTime now = m_clock.now();
    if (m_pauseUntil && now < *m_pauseUntil) {
        Log::line(QStringLiteral("[SnoozeGuard] suppressed during compromise pause (until ") + logTime(*m_pauseUntil) +
                  QStringLiteral(")"));
        return;
    }
    m_recentAlertTimestamps.append(now);
    // An alert exactly at the window's edge still counts.
    m_recentAlertTimestamps.removeIf(
        [&](const QDateTime& t) { return t.msecsTo(now) > escalationWindowSeconds * 1000; });
    const qsizetype n = m_recentAlertTimestamps.size();
    setEscalationLevel(n >= 5 ? 5 : n - 1);

    m_lastTrigger = reason;
    Q_EMIT lastTriggerChanged();
    m_lastTriggerAt = now;
    Q_EMIT lastTriggerAtChanged();
    const auto observers = m_observers;  // an observer may unobserve
    for (const auto& observer : observers) observer(m_lastTriggerAt);

    m_alert.show(reason, int(m_escalationLevel));
}

void SnoozeGuard::handleDrowsyEvent(const DrowsyEvent& event)
{
    if (event.kind != DrowsyEvent::Kind::drowsy) return;
    fire(QStringLiteral("Drowsiness detected \u2014 ") + event.reason);
}

QString SnoozeGuard::stuckKeyText(const StuckKeyEvent& event)
{
    // What the user sees: the key as its cap names it, not the keyboard's code for it.
    if (event.keycode < 0) return cformat("Keys mashed for %.1fs", event.heldFor);
    const QString key = event.label.isEmpty() ? QString::number(event.keycode) : event.label;
    return QStringLiteral("Key ") + key + cformat(" held %.1fs \u2014 released", event.heldFor);
}

void SnoozeGuard::handleStuckKeyEvent(const StuckKeyEvent& event)
{
    fire(stuckKeyText(event));
}

void SnoozeGuard::grantCompromise(int minutes)
{
    const qint64 pauseMinutes = std::max<qint64>(minutes, minimumPauseMinutes);
    m_pauseUntil = m_clock.now().addSecs(pauseMinutes * 60);
    setEscalationLevel(0);
    Log::line(QStringLiteral("[SnoozeGuard] compromise extension granted: ") + QString::number(minutes) +
              QStringLiteral("min, pausing until ") + logTime(*m_pauseUntil));
}

void SnoozeGuard::emergencyOverride()
{
    m_pauseUntil = m_clock.now().addSecs(overridePauseSeconds);
    m_recentAlertTimestamps.clear();
    setEscalationLevel(0);
    Log::line(QStringLiteral("[SnoozeGuard] emergency override \u2014 paused 4hr"));
}

void SnoozeGuard::setIsRunning(bool running)
{
    m_isRunning = running;
    Q_EMIT isRunningChanged(running);
    Q_EMIT statusChanged();
}

void SnoozeGuard::showAlert(const QString& reason, int level) { m_alert.show(reason, std::clamp(level, 0, 5)); }

int SnoozeGuard::observeLastTriggerAt(Observer observer)
{
    observer(m_lastTriggerAt);
    m_observers.insert(++m_lastToken, std::move(observer));
    return m_lastToken;
}

void SnoozeGuard::unobserve(int token) { m_observers.remove(token); }

void SnoozeGuard::setEscalationLevel(qint64 level)
{
    m_escalationLevel = level;
    Q_EMIT escalationLevelChanged(level);
}
