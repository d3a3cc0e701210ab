#include "ui/chat/YoloArmingState.h"

#include "actions/ActionGate.h"

#include <algorithm>

const QStringList YoloArmingState::stepConcerns = {
    QStringLiteral("YOLO lets the Tavrilon take IRREVERSIBLE actions on this computer without stopping to ask each time."),
    QStringLiteral("That includes force-quitting processes (losing their unsaved work) and other destructive operations."),
    QStringLiteral("You are handing a model real control over a real machine. It will still refuse system-critical "
                   "targets \u2014 but everything else is fair game."),
};
const QString YoloArmingState::saferFirst = QStringLiteral(
    "Safer: leave YOLO off. Destructive actions will still run \u2014 they just stop and ask you first, every time.");
const QString YoloArmingState::title = QStringLiteral("Arm YOLO mode");
const QString YoloArmingState::symbol = QStringLiteral("bolt.shield.fill");
const QString YoloArmingState::passwordCaption = QStringLiteral("UNLOCK PASSWORD");
const QString YoloArmingState::passwordPlaceholder = QStringLiteral("\u2022\u2022\u2022\u2022\u2022\u2022");

QString YoloArmingState::counterText() const
{
    return QStringLiteral("Confirmation %1 of %2").arg(std::min(m_confirmations + 1, required)).arg(required);
}

QString YoloArmingState::stepConcern() const { return stepConcerns.at(std::min(m_confirmations, required - 1)); }

QString YoloArmingState::confirmLabel() const
{
    if (m_confirmations + 1 < required) return QStringLiteral("Confirm (%1/%2)").arg(m_confirmations + 1).arg(required);
    return QStringLiteral("Arm YOLO");
}

bool YoloArmingState::press(ActionGate& gate) { return apply(gate.arm(password, m_confirmations + 1)); }

bool YoloArmingState::apply(const ArmResult& result)
{
    switch (result.kind()) {
    case ArmResult::Kind::needsMoreConfirmations:
        m_errorText.reset();
        m_confirmations = std::min(m_confirmations + 1, required - 1);
        return false;
    case ArmResult::Kind::armed: return true;
    case ArmResult::Kind::wrongPassword:
        m_errorText = QStringLiteral("Wrong password.");
        m_confirmations = 0;
        return false;
    case ArmResult::Kind::notEligible:
        m_errorText = QStringLiteral("Not eligible \u2014 backend \u201C") + result.label() +
                      QStringLiteral("\u201D is not an Opus-class model.");
        m_confirmations = 0;
        return false;
    }
    return false;
}

std::optional<QString> YoloArmingState::eligibilityBanner(const ActionGate& gate)
{
    if (gate.activeModelIsFrontier()) return std::nullopt;
    const QString label = gate.activeModelLabel();
    return QStringLiteral("YOLO requires your own Opus-class API key (Settings \u2192 AI \u2192 bring your own key). "
                          "The current backend is \u201C") +
           label + QStringLiteral("\u201D, which is not eligible.");
}
