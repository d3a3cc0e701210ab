#include "ui/dashboard/ProfileStyle.h"

#include "ui/dashboard/NamedColor.h"
#include "ui/theme/ColorHex.h"

ProfileStyle ProfileStyle::of(PerformanceMode mode)
{
    const QString name = PerformanceModes::rawValue(mode);
    switch (mode) {
    case PerformanceMode::maxPerformance: return {QStringLiteral("flame.fill"), name, namedColor(NamedColor::red)};
    case PerformanceMode::balanced: return {QStringLiteral("scale.3d"), name, colorFromHex(u"#d4a843")};
    case PerformanceMode::batterySaver: return {QStringLiteral("leaf.fill"), name, namedColor(NamedColor::green)};
    case PerformanceMode::creativeWork:
        return {QStringLiteral("paintbrush.fill"), name, namedColor(NamedColor::purple)};
    case PerformanceMode::developer:
        return {QStringLiteral("chevron.left.forwardslash.chevron.right"), name, namedColor(NamedColor::cyan)};
    case PerformanceMode::gaming:
        return {QStringLiteral("gamecontroller.fill"), name, namedColor(NamedColor::orange)};
    }
    return {};
}
