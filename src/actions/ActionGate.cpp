#include "actions/ActionGate.h"

#include "core/Clock.h"
#include "core/UserDefaults.h"

#include <algorithm>

namespace {
const QString kUnlockPassword = QStringLiteral("527139");
}

const QString ActionGate::blockedReason = QStringLiteral(
    "This is an irreversible action and YOLO mode is off. You have already been warned twice. Arm YOLO "
    "(password-locked, frontier-only) to allow irreversible actions.");

ActionGate::ActionGate(UserDefaults& defaults, const Clock& clock, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_clock(clock)
{
    m_yoloArmed = m_defaults.getBool(yoloKey).value_or(false);
    // YOLO survives a restart only while the last answering backend was a frontier model.
    if (m_yoloArmed && !activeModelIsFrontier()) {
        m_yoloArmed = false;
        m_defaults.setBool(yoloKey, false);
    }
}

bool ActionGate::activeModelIsFrontier() const { return m_defaults.getBool(activeModelIsFrontierKey).value_or(false); }

QString ActionGate::activeModelLabel() const
{
    return m_defaults.getString(activeModelLabelKey).value_or(QStringLiteral("unknown"));
}

GateDecision ActionGate::evaluate(const TavrilonAction& action) const
{
    switch (action.risk) {
    case ActionRisk::safe: return GateDecision::allowFree();
    case ActionRisk::reversible: return GateDecision::allowWithUndo();
    case ActionRisk::destructive: break;
    }
    if (m_yoloArmed && activeModelIsFrontier()) return GateDecision::allowYolo(action.concerns);
    const int warned = m_destructiveWarnings.value(action.title, 0);
    if (warned <= 0) return GateDecision::warnFirst(action.concerns, action.saferAlternatives);
    if (warned == 1) return GateDecision::warnFinal(action.concerns, action.saferAlternatives);
    return GateDecision::blockedNeedsYolo(blockedReason);
}

void ActionGate::noteWarning(const TavrilonAction& action) { m_destructiveWarnings[action.title] += 1; }

void ActionGate::record(const TavrilonAction& action, const QString& outcome, bool undone)
{
    GateLedgerEntry entry;
    entry.id = QUuid::createUuid();
    entry.title = action.title;
    entry.risk = action.risk;
    entry.outcome = outcome;
    entry.timestamp = m_clock.now();
    if (action.risk == ActionRisk::reversible) entry.undo = action.undo;
    entry.undone = undone;
    m_ledger.prepend(std::move(entry));
    if (m_ledger.size() > ledgerLimit) m_ledger.resize(ledgerLimit);
    Q_EMIT ledgerChanged();
}

bool ActionGate::markUndone(const QUuid& entryID)
{
    auto it = std::find_if(m_ledger.begin(), m_ledger.end(), [&](const GateLedgerEntry& e) { return e.id == entryID; });
    if (it == m_ledger.end() || it->undone) return false;
    it->undone = true;
    Q_EMIT ledgerChanged();
    return true;
}

std::optional<QUuid> ActionGate::lastEntryID() const
{
    if (m_ledger.isEmpty()) return std::nullopt;
    return m_ledger.first().id;
}

void ActionGate::attachMeasurement(const QUuid& entryID, const SampleResult& result)
{
    auto it = std::find_if(m_ledger.begin(), m_ledger.end(), [&](const GateLedgerEntry& e) { return e.id == entryID; });
    if (it == m_ledger.end()) return;
    if (result.isValue()) {
        const MeasuredOutcome& outcome = result.outcome();
        it->measuredDelta = outcome.delta;
        it->metricLabel = outcome.deltaText() + QStringLiteral(" (") + rawValue(outcome.metric) + QLatin1Char(')');
    } else {
        it->measuredDelta.reset();
        it->metricLabel = QStringLiteral("unmeasurable \u2014 ") + result.reason();
    }
    Q_EMIT ledgerChanged();
}

ArmResult ActionGate::arm(const QString& password, int confirmations)
{
    if (password != kUnlockPassword) return ArmResult::wrongPassword();
    if (!activeModelIsFrontier())
        return ArmResult::notEligible(activeModelLabel());
    if (confirmations >= requiredConfirmations) {
        const bool changed = !m_yoloArmed;
        m_yoloArmed = true;
        m_defaults.setBool(yoloKey, true);
        if (changed) Q_EMIT yoloArmedChanged(true);
        return ArmResult::armed();
    }
    return ArmResult::needsMoreConfirmations(requiredConfirmations - confirmations);
}

void ActionGate::recordActiveModel(UserDefaults& defaults, const QString& label, bool isFrontier)
{
    defaults.setString(activeModelLabelKey, label);
    defaults.setBool(activeModelIsFrontierKey, isFrontier);
}
