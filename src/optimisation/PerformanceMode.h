#pragma once

#include <QString>
#include <array>
#include <optional>

// The six performance profiles; the raw values are also the display names.
enum class PerformanceMode { maxPerformance, balanced, batterySaver, creativeWork, developer, gaming };

namespace PerformanceModes {

inline constexpr std::array<PerformanceMode, 6> all = {PerformanceMode::maxPerformance, PerformanceMode::balanced,
                                                       PerformanceMode::batterySaver,   PerformanceMode::creativeWork,
                                                       PerformanceMode::developer,      PerformanceMode::gaming};
QString rawValue(PerformanceMode mode);
std::optional<PerformanceMode> fromRaw(const QString& raw);

}  // namespace PerformanceModes
