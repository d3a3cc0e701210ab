#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

#include <optional>

struct PaletteTheme;

// Snooze Guard's state as the status item shows it.
enum class SnoozeDot { disabled, armed, partial, stopped };

struct StatusIconState {
    struct Battery {
        int level = 0;
        bool charging = false;
        friend bool operator==(const Battery&, const Battery&) = default;
    };

    int64_t score = 0;
    std::optional<Battery> battery;  // absent on a machine without one
    SnoozeDot snooze = SnoozeDot::disabled;

    friend bool operator==(const StatusIconState&, const StatusIconState&) = default;
};

// The health score's band: success 80-100, warning 50-79, danger otherwise.
QColor scoreColor(int64_t score, const PaletteTheme& palette);
// Charging: success; 50-100: textDim; 20-49: warning; otherwise danger.
QColor batteryColor(const StatusIconState::Battery& battery, const PaletteTheme& palette);
// Tested in the order: the setting off, running with both detectors allowed, running with one
// denied, on but not running.
SnoozeDot snoozeDot(bool enabled, bool running, bool cameraDenied, bool accessibilityDenied);
QString snoozeDotText(SnoozeDot dot);  // " ○", " ●", " ◐"
QColor snoozeDotColor(SnoozeDot dot);

// The item's title text (" 87 · 54% ●"), which the tray shows as the tooltip.
QString statusTitle(const StatusIconState& state);

// Where the parts are drawn in an icon of side `side`.
struct StatusIconLayout {
    QRectF shield;
    QRectF score;
    QRectF batteryTrack;
    QRectF batteryFill;  // the track cut at the battery level
    QRectF dot;

    static StatusIconLayout forSide(int side, int batteryLevel);
};

// The tray image: the shield, the score in its band's colour, the battery level as a bar along
// the bottom edge and the Snooze Guard dot in the top trailing corner.
QImage renderStatusIcon(const StatusIconState& state, const PaletteTheme& palette, int side);
