#pragma once

#include <QtGlobal>
#include <optional>

// How much a change to the machine can hurt. The raw values are also the stored form, and
// the order (safe < reversible < destructive) is meaningful.
enum class ActionRisk : int {
    safe = 0,         // changes nothing that matters; runs without asking
    reversible = 1,   // can be put back; runs, and its undo stays available
    destructive = 2,  // cannot be put back; refused unless YOLO mode is armed
};

inline int rawValue(ActionRisk risk) { return static_cast<int>(risk); }

// Any integer other than 0, 1 or 2 is not a risk.
inline std::optional<ActionRisk> actionRiskFromRaw(qint64 raw)
{
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<ActionRisk>(raw);
}
