#pragma once

#include "services/TelemetryCollector.h"

#include <optional>

// The first-launch sharing question as a modal message box: true for the first button, false
// for the second (Escape presses it), none when the box closed unanswered (a quit meanwhile).
// Enter presses the button that keeps the regional default.
std::optional<bool> askConsent(const TelemetryCollector::ConsentQuestion& question);
