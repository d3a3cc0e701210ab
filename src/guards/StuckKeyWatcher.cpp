#include "guards/StuckKeyWatcher.h"

#include "core/Clock.h"
#include "core/Log.h"

#include <QSet>

namespace {

double secondsBetween(const QDateTime& from, const QDateTime& to) { return double(from.msecsTo(to)) / 1000.0; }

}  // namespace

StuckKeyWatcher::StuckKeyWatcher(KeyEventSource& source, const Clock& clock, Scheduler& scheduler, QObject* parent)
    : StuckKeyWatcher(source, clock, scheduler, Tuning{}, parent)
{
}

StuckKeyWatcher::StuckKeyWatcher(KeyEventSource& source, const Clock& clock, Scheduler& scheduler, Tuning tuning,
                                 QObject* parent)
    : SnoozeWatcher(parent), m_source(source), m_clock(clock), m_scheduler(scheduler), m_tuning(tuning)
{
}

StuckKeyWatcher::~StuckKeyWatcher()
{
    if (m_installed) m_source.uninstall();
    if (m_pollTimer) m_pollTimer->cancel();
    cancelTrustPoll();
}

void StuckKeyWatcher::start()
{
    if (m_isRunning) return;
    switch (m_source.trust()) {
    case KeyEventSource::Trust::unavailable:
        // Nothing will ever change on this session, so there is nothing to poll for.
        if (!m_unavailableSaid) {
            m_unavailableSaid = true;
            Log::line(QStringLiteral("[SnoozeGuard] stuck-key watcher not available: ") + m_source.unavailableReason());
        }
        setPermissionDenied(true);
        return;
    case KeyEventSource::Trust::notTrusted:
        setPermissionDenied(true);
        startTrustPoll();
        return;
    case KeyEventSource::Trust::trusted: break;
    }
    setPermissionDenied(false);
    cancelTrustPoll();

    if (!m_source.install([this](const KeyEventSource::KeyEvent& e) { handleTapEvent(e); })) {
        Log::line(QStringLiteral("[SnoozeGuard] CGEvent.tapCreate failed (likely missing Accessibility)"));
        setPermissionDenied(true);
        return;
    }
    m_installed = true;
    updatePoll();
    setRunning(true);
}

void StuckKeyWatcher::stop()
{
    if (m_installed) {
        m_source.uninstall();
        m_installed = false;
    }
    m_heldKeys.clear();
    m_keyLabels.clear();
    updatePoll();
    // A stopped watcher stays stopped: a permission arriving later must not switch it back on.
    cancelTrustPoll();
    setRunning(false);
}

void StuckKeyWatcher::startTrustPoll()
{
    cancelTrustPoll();
    m_trustPollTimer = m_scheduler.every(trustPollInterval, this, [this] { trustPollTick(); });
}

void StuckKeyWatcher::trustPollTick()
{
    if (m_source.trust() != KeyEventSource::Trust::trusted) return;
    Log::line(QStringLiteral("[SnoozeGuard] Accessibility granted post-launch \u2014 installing CGEventTap"));
    cancelTrustPoll();
    start();
}

void StuckKeyWatcher::handleTapEvent(const KeyEventSource::KeyEvent& event)
{
    using Type = KeyEventSource::KeyEvent::Type;
    switch (event.type) {
    case Type::keyDown:
        if (!event.letter) return;
        // Automatic repeats keep the time of the first key-down.
        m_heldKeys.try_emplace(event.keycode, m_clock.now());
        m_keyLabels[event.keycode] = event.label;
        updatePoll();
        checkBurst(event.keycode);
        return;
    case Type::keyUp:
        if (!event.letter) return;
        m_heldKeys.erase(event.keycode);
        m_keyLabels.erase(event.keycode);
        m_lastStuckFired.erase(event.keycode);
        updatePoll();
        return;
    case Type::modifiersChanged: m_commandDown = event.commandDown; return;
    }
}

void StuckKeyWatcher::pollHeldKeys()
{
    const QDateTime now = m_clock.now();
    const bool commandDown = m_commandDown;
    const auto snapshot = m_heldKeys;
    for (const auto& [keycode, downAt] : snapshot) {
        const double heldFor = secondsBetween(downAt, now);
        if (heldFor < m_tuning.stuckThresholdSeconds) continue;
        if (commandDown) continue;
        if (const auto last = m_lastStuckFired.find(keycode);
            last != m_lastStuckFired.end() && secondsBetween(last->second, now) < m_tuning.rebounceSeconds)
            continue;
        m_lastStuckFired[keycode] = now;
        m_source.postKeyUp(keycode);  // when no key-up can be made, the key is still reported
        m_heldKeys.erase(keycode);
        const QString label = m_keyLabels[keycode];
        m_keyLabels.erase(keycode);
        Q_EMIT eventOccurred(StuckKeyEvent{keycode, heldFor, label});
    }
    updatePoll();
}

void StuckKeyWatcher::checkBurst(qint64 keycode)
{
    const QDateTime now = m_clock.now();
    m_recentKeyDowns.append({now, keycode});
    const QDateTime windowStart = now.addMSecs(-qint64(m_tuning.burstWindow * 1000.0));
    while (!m_recentKeyDowns.isEmpty() && m_recentKeyDowns.first().at < windowStart) m_recentKeyDowns.removeFirst();

    if (m_recentKeyDowns.size() < m_tuning.burstThreshold) return;
    QSet<qint64> distinct;
    for (const auto& k : std::as_const(m_recentKeyDowns)) distinct.insert(k.code);
    if (distinct.size() < m_tuning.burstMinUniqueKeys) return;
    if (m_commandDown) return;
    if (m_lastBurstFired && secondsBetween(*m_lastBurstFired, now) < m_tuning.rebounceSeconds) return;

    m_lastBurstFired = now;
    m_recentKeyDowns.clear();
    Q_EMIT eventOccurred(StuckKeyEvent{-1, m_tuning.burstWindow});
}

void StuckKeyWatcher::setRunning(bool running)
{
    m_isRunning = running;
    Q_EMIT isRunningChanged(running);
}

void StuckKeyWatcher::setPermissionDenied(bool denied)
{
    m_permissionDenied = denied;
    Q_EMIT permissionDeniedChanged(denied);
}

// The held-key poll runs only while a watched key is down, so an idle keyboard costs no wakeups.
void StuckKeyWatcher::updatePoll()
{
    const bool wanted = m_installed && !m_heldKeys.empty();
    if (wanted && !m_pollTimer) {
        m_pollTimer = m_scheduler.every(pollInterval, this, [this] { pollHeldKeys(); });
    } else if (!wanted && m_pollTimer) {
        m_pollTimer->cancel();
        m_pollTimer.reset();
    }
}

void StuckKeyWatcher::cancelTrustPoll()
{
    if (!m_trustPollTimer) return;
    m_trustPollTimer->cancel();
    m_trustPollTimer.reset();
}
