#pragma once

#include <QDateTime>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QMenu;

// What the status menu shows, read from the guards' published state each time it opens.
struct StatusMenuState {
    struct AIProcess {
        int32_t pid = 0;
        QString name;
    };
    struct RankedFile {
        QUrl file;
        double score = 0;
    };

    bool snoozeGuardEnabled = false;
    bool snoozeRunning = false;
    bool cameraDenied = false;
    bool accessibilityDenied = false;
    // Whether each watch runs now, and why the camera's did not start.
    bool cameraRunning = false;
    bool keyWatchRunning = false;
    QString cameraFailure;
    QList<AIProcess> aiProcesses;
    std::optional<QString> lastSuspiciousEvent;
    int64_t totalSnapshots = 0;
    std::optional<QDateTime> lastSweepAt;
    std::optional<QString> lastTrigger;
    QList<RankedFile> lastRanked;
    std::optional<QString> workGuardNotice;
    bool hudVisible = false;
    QDateTime now;
};

// One entry of the status menu. Entries without an action are status lines.
struct StatusMenuRow {
    enum class Action {
        none,
        testSnoozeAlert,
        restartSnooze,
        revealShieldLog,
        revealSnapshots,
        openRecoveryBrowser,
        workGuardSweepNow,
        toggleDesktopHUD,
        openDashboard,
        openSettings,
        quit,
    };

    QString title;  // empty for a separator
    Action action = Action::none;
    QKeySequence shortcut;
    bool header = false;  // section headers are disabled explicitly
    bool visible = true;  // a place kept in the menu for a line that is not shown now

    bool isSeparator() const { return title.isEmpty(); }
};

// The age of `date` at `now` in whole seconds, minutes, hours or days ("59s ago", "1m ago").
QString relativeAgeText(const QDateTime& date, const QDateTime& now);

// "Disabled", "Off", "Armed ●" (both watches run) or "Partial ◐" (one of them runs).
QString snoozeStateText(bool enabled, bool running, bool cameraRunning, bool keyWatchRunning);

// The texts of the Snooze Guard section's three status lines.
struct SnoozeMenuTexts {
    QString header;         // "Snooze Guard: Armed ●"
    QString camera;         // "  Camera: OK", "  Camera: none", or why it failed
    QString accessibility;  // "  Accessibility: OK"
};
SnoozeMenuTexts snoozeMenuTexts(const StatusMenuState& state);

// The menu, entry by entry, as shown.
QList<StatusMenuRow> statusMenuRows(const StatusMenuState& state);

// The same entries with a hidden place for every line a state may add (up to five AI
// processes, the "more" line, the suspicious event, three ranked files): as many rows, of the
// same kinds, whatever the state.
QList<StatusMenuRow> statusMenuLayout(const StatusMenuState& state);

// Gives the menu `rows`; `trigger` runs when one with an action is chosen. A menu that already
// holds entries of the same kinds keeps them and only has their texts, shortcuts and visibility
// updated where they changed: a panel that shows the menu from its exported layout then never
// sees the entries replaced under it.
void fillStatusMenu(QMenu& menu, const QList<StatusMenuRow>& rows,
                    const std::function<void(StatusMenuRow::Action)>& trigger);
