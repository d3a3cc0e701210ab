#include "ui/chat/GateWarningContent.h"

GateWarningContent GateWarningContent::make(const TavrilonAction& action, const GateDecision& decision,
                                            const PaletteTheme& theme)
{
    GateWarningContent c;
    c.icon = QStringLiteral("exclamationmark.triangle.fill");
    c.iconColor = theme.warning;
    switch (decision.kind()) {
    case GateDecision::Kind::warnFinal: c.title = QStringLiteral("Last warning: ") + action.title; break;
    case GateDecision::Kind::blockedNeedsYolo:
        c.icon = QStringLiteral("lock.fill");
        c.iconColor = theme.danger;
        c.title = QStringLiteral("Blocked \u2014 needs YOLO");
        c.note = blockedNote;
        break;
    case GateDecision::Kind::allowYolo: c.title = QStringLiteral("YOLO armed \u2014 confirm"); break;
    case GateDecision::Kind::warnFirst:
    case GateDecision::Kind::allowFree:
    case GateDecision::Kind::allowWithUndo: c.title = QStringLiteral("Heads up: ") + action.title; break;
    }
    c.detail = action.detail;
    if (!action.saferAlternatives.isEmpty())
        c.safer = Card{QStringLiteral("Try this first \u2014 safer").toUpper(), theme.success, action.saferAlternatives};
    if (!action.concerns.isEmpty())
        c.concerns = Card{QStringLiteral("What you're allowing").toUpper(), theme.danger, action.concerns};
    c.cancelLabel = QStringLiteral("Cancel");
    const bool proceed = decision.kind() == GateDecision::Kind::allowYolo;
    c.trailing = proceed ? Trailing::proceed : Trailing::armYolo;
    c.trailingLabel = proceed ? QStringLiteral("Proceed") : QStringLiteral("Arm YOLO\u2026");
    c.trailingColor = theme.danger;
    return c;
}
