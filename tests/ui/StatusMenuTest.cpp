// The status menu as rows per guard state, the age formatter, and the QMenu it fills.
#include "ui/shell/StatusMenu.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QTimeZone>

namespace {

const QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

QStringList titles(const QList<StatusMenuRow>& rows)
{
    QStringList out;
    for (const StatusMenuRow& r : rows) out << (r.isSeparator() ? QStringLiteral("---") : r.title);
    return out;
}

StatusMenuState baseState()
{
    StatusMenuState s;
    s.now = now;
    return s;
}

}  // namespace

TEST(RelativeAgeText, WholeUnitsCutTowardZero)
{
    const struct {
        qint64 msAgo;
        const char* text;
    } cases[] = {
        {0, "0s ago"},          {59'999, "59s ago"},     {60'000, "1m ago"},         {3'599'000, "59m ago"},
        {3'600'000, "1h ago"},  {86'399'000, "23h ago"}, {86'400'000, "1d ago"},     {10 * 86'400'000LL, "10d ago"},
        {-5'000, "-5s ago"},    {-500, "0s ago"},        {-3'600'000, "-3600s ago"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(relativeAgeText(now.addMSecs(-c.msAgo), now), QString::fromUtf8(c.text)) << c.msAgo;
}

TEST(StatusMenu, SnoozeSectionPerState)
{
    // "Armed" only while both watches run; the camera line says why its watch does not.
    const struct {
        bool enabled, running, cameraDenied, accessibilityDenied, cameraRunning, keysRunning;
        const char* cameraFailure;
        const char *header, *camera, *accessibility;
    } cases[] = {
        {false, false, false, false, false, false, "", "Snooze Guard: Disabled", "  Camera: off", "  Accessibility: off"},
        {true, false, false, false, false, false, "", "Snooze Guard: Off", "  Camera: off", "  Accessibility: off"},
        {true, true, false, false, true, true, "", "Snooze Guard: Armed \u25CF", "  Camera: OK", "  Accessibility: OK"},
        {true, true, true, false, false, true, "", "Snooze Guard: Partial \u25D0", "  Camera: denied / not granted",
         "  Accessibility: OK"},
        {true, true, false, true, true, false, "", "Snooze Guard: Partial \u25D0", "  Camera: OK",
         "  Accessibility: denied / restart after grant"},
        // No camera on the machine: not armed, and the menu says so.
        {true, true, false, false, false, true, "No camera", "Snooze Guard: Partial \u25D0", "  Camera: none",
         "  Accessibility: OK"},
        {true, true, false, false, false, true, "Cannot open the camera /dev/video0", "Snooze Guard: Partial \u25D0",
         "  Camera: Cannot open the camera /dev/video0", "  Accessibility: OK"},
        // Started, but neither watch runs: nothing is watched.
        {true, true, false, false, false, false, "No camera", "Snooze Guard: Off", "  Camera: none",
         "  Accessibility: off"},
    };
    for (const auto& c : cases) {
        StatusMenuState s = baseState();
        s.snoozeGuardEnabled = c.enabled;
        s.snoozeRunning = c.running;
        s.cameraDenied = c.cameraDenied;
        s.accessibilityDenied = c.accessibilityDenied;
        s.cameraRunning = c.cameraRunning;
        s.keyWatchRunning = c.keysRunning;
        s.cameraFailure = QString::fromUtf8(c.cameraFailure);
        const QList<StatusMenuRow> rows = statusMenuRows(s);
        EXPECT_EQ(rows[0].title, QString::fromUtf8(c.header)) << c.camera;
        EXPECT_TRUE(rows[0].header);
        EXPECT_EQ(rows[1].title, QString::fromUtf8(c.camera));
        EXPECT_EQ(rows[2].title, QString::fromUtf8(c.accessibility)) << c.camera;
    }
}

TEST(StatusMenu, WholeMenuOfAnIdleMachine)
{
    const QStringList expected{
        "Snooze Guard: Disabled", "  Camera: off", "  Accessibility: off", "---", "Test Alert",
        "Recheck Permissions / Restart Watch", "---", "AI Shield: 0 AI processes", "Show AI Shield Log in Files", "---",
        "Work Guard: 0 snapshots", "  Last sweep: never", "Snapshot Now", "Open Recovery Browser\u2026",
        "Show Snapshots in Files", "---", "Show Desktop HUD", "Open Dashboard", "Settings\u2026", "Quit Veltranmoor"};
    EXPECT_EQ(titles(statusMenuRows(baseState())), expected);
}

TEST(StatusMenu, AIShieldLinesPerProcessCount)
{
    const struct {
        int count;
        const char* header;
        int processLines;
        const char* more;  // empty: no "more" line
    } cases[] = {
        {0, "AI Shield: 0 AI processes", 0, ""},     {1, "AI Shield: 1 AI process", 1, ""},
        {5, "AI Shield: 5 AI processes", 5, ""},     {6, "AI Shield: 6 AI processes", 5, "  \u2022 \u2026and 1 more"},
        {7, "AI Shield: 7 AI processes", 5, "  \u2022 \u2026and 2 more"},
    };
    for (const auto& c : cases) {
        StatusMenuState s = baseState();
        for (int i = 0; i < c.count; ++i) s.aiProcesses.append({1000 + i, QStringLiteral("agent%1").arg(i)});
        const QStringList t = titles(statusMenuRows(s));
        const qsizetype header = t.indexOf(QString::fromUtf8(c.header));
        ASSERT_GE(header, 0) << c.count;
        for (int i = 0; i < c.processLines; ++i)
            EXPECT_EQ(t[header + 1 + i], QStringLiteral("  \u2022 agent%1 (pid %2)").arg(i).arg(1000 + i));
        const QString next = t[header + 1 + c.processLines];
        if (*c.more)
            EXPECT_EQ(next, QString::fromUtf8(c.more));
        else
            EXPECT_EQ(next, QStringLiteral("Show AI Shield Log in Files"));
    }
}

TEST(StatusMenu, SuspiciousEventShowsItsFirst80Characters)
{
    StatusMenuState s = baseState();
    // 200 user-perceived characters, each an "e" with a combining accent (two code units).
    QString event;
    for (int i = 0; i < 200; ++i) event += QStringLiteral("e\u0301");
    s.lastSuspiciousEvent = event;
    const QStringList t = titles(statusMenuRows(s));
    const QString line = t[t.indexOf(QStringLiteral("Show AI Shield Log in Files")) - 1];
    EXPECT_EQ(line, QStringLiteral("  \u26A0 ") + event.left(160));
}

TEST(StatusMenu, WorkGuardLinesPerState)
{
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/home/u/Documents/report.odt"));
    const struct {
        int64_t snapshots;
        std::optional<qint64> sweptSecondsAgo;
        std::optional<QString> trigger;
        int ranked;
        QStringList lines;
        std::optional<QString> notice = std::nullopt;
    } cases[] = {
        {1, std::nullopt, std::nullopt, 0, {"Work Guard: 1 snapshot", "  Last sweep: never"}},
        {2, 59, QStringLiteral("startup"), 0, {"Work Guard: 2 snapshots", "  Last sweep: 59s ago (startup)"}},
        {0, 7200, std::nullopt, 0, {"Work Guard: 0 snapshots", "  Last sweep: 2h ago (\u2014)"}},
        {40,
         60,
         QStringLiteral("sleep"),
         4,
         {"Work Guard: 40 snapshots", "  Last sweep: 1m ago (sleep)", "  \u2022 report.odt  [score 0.50]",
          "  \u2022 report.odt  [score 1.50]", "  \u2022 report.odt  [score 2.50]"}},
        {3,
         5,
         QStringLiteral("inotify"),
         1,
         {"Work Guard: 3 snapshots", "  Last sweep: 5s ago (inotify)", "  \u26A0 Snapshots paused: the disk is nearly full",
          "  \u2022 report.odt  [score 0.50]"},
         QStringLiteral("Snapshots paused: the disk is nearly full")},
    };
    for (const auto& c : cases) {
        StatusMenuState s = baseState();
        s.totalSnapshots = c.snapshots;
        if (c.sweptSecondsAgo) s.lastSweepAt = now.addSecs(-*c.sweptSecondsAgo);
        s.lastTrigger = c.trigger;
        s.workGuardNotice = c.notice;
        for (int i = 0; i < c.ranked; ++i) s.lastRanked.append({file, 0.5 + i});
        const QStringList t = titles(statusMenuRows(s));
        const qsizetype header = t.indexOf(c.lines.first());
        ASSERT_GE(header, 0) << c.lines.first().toStdString();
        EXPECT_EQ(t.mid(header, c.lines.size()), c.lines);
        EXPECT_EQ(t[header + c.lines.size()], QStringLiteral("Snapshot Now"));
    }
}

TEST(StatusMenu, FilledMenuTriggersActionsAndGreysStatusLines)
{
    StatusMenuState s = baseState();
    s.hudVisible = true;
    QMenu menu;
    QList<StatusMenuRow::Action> triggered;
    fillStatusMenu(menu, statusMenuRows(s), [&](StatusMenuRow::Action a) { triggered << a; });

    QHash<QString, QAction*> byTitle;
    for (QAction* a : menu.actions())
        if (!a->isSeparator()) byTitle.insert(a->text(), a);
    ASSERT_TRUE(byTitle.contains(QStringLiteral("Hide Desktop HUD")));
    EXPECT_FALSE(byTitle.value(QStringLiteral("Snooze Guard: Disabled"))->isEnabled());
    EXPECT_FALSE(byTitle.value(QStringLiteral("  Camera: off"))->isEnabled());
    EXPECT_TRUE(byTitle.value(QStringLiteral("Test Alert"))->isEnabled());
    EXPECT_EQ(byTitle.value(QStringLiteral("Quit Veltranmoor"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(byTitle.value(QStringLiteral("Open Recovery Browser\u2026"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    EXPECT_EQ(menu.actions().size(), statusMenuRows(s).size());

    byTitle.value(QStringLiteral("Hide Desktop HUD"))->trigger();
    byTitle.value(QStringLiteral("Open Dashboard"))->trigger();
    byTitle.value(QStringLiteral("Quit Veltranmoor"))->trigger();
    EXPECT_EQ(triggered, (QList<StatusMenuRow::Action>{StatusMenuRow::Action::toggleDesktopHUD,
                                                        StatusMenuRow::Action::openDashboard, StatusMenuRow::Action::quit}));

    // Refilling replaces every entry.
    fillStatusMenu(menu, statusMenuRows(baseState()), [](StatusMenuRow::Action) {});
    EXPECT_EQ(menu.actions().size(), statusMenuRows(baseState()).size());
}

TEST(StatusMenu, LayoutKeepsItsShapeAndTheMenuIsUpdatedInPlace)
{
    // An idle machine, then one with seven AI processes, a warning and ranked files: the layout
    // has the same rows of the same kinds, and only what a state shows is visible.
    StatusMenuState idle = baseState();
    StatusMenuState busy = baseState();
    for (int i = 0; i < 7; ++i) busy.aiProcesses.append({500 + i, QStringLiteral("agent%1").arg(i)});
    busy.lastSuspiciousEvent = QStringLiteral("agent0 opened ~/.ssh/id_ed25519");
    busy.lastSweepAt = now.addSecs(-120);
    busy.lastTrigger = QStringLiteral("save");
    for (int i = 0; i < 4; ++i) busy.lastRanked.append({QUrl::fromLocalFile(QStringLiteral("/w/f%1.txt").arg(i)), 0.5});
    busy.hudVisible = true;
    const QList<StatusMenuRow> idleLayout = statusMenuLayout(idle), busyLayout = statusMenuLayout(busy);
    ASSERT_EQ(idleLayout.size(), busyLayout.size());
    for (qsizetype i = 0; i < idleLayout.size(); ++i) {
        EXPECT_EQ(idleLayout[i].isSeparator(), busyLayout[i].isSeparator()) << i;
        EXPECT_EQ(idleLayout[i].action, busyLayout[i].action) << i;
    }

    QMenu menu;
    QList<StatusMenuRow::Action> triggered;
    fillStatusMenu(menu, idleLayout, [&](StatusMenuRow::Action a) { triggered << a; });
    const QList<QAction*> first = menu.actions();
    auto shown = [&] {
        QStringList out;
        for (QAction* a : menu.actions())
            if (a->isVisible()) out << (a->isSeparator() ? QStringLiteral("---") : a->text());
        return out;
    };
    EXPECT_EQ(shown(), titles(statusMenuRows(idle)));

    // Texts, visibility and the toggle's wording change; the entries themselves stay.
    fillStatusMenu(menu, busyLayout, [&](StatusMenuRow::Action a) { triggered << a; });
    EXPECT_EQ(menu.actions(), first);
    EXPECT_EQ(shown(), titles(statusMenuRows(busy)));
    EXPECT_TRUE(shown().contains(QStringLiteral("  \u2022 \u2026and 2 more")));
    EXPECT_TRUE(shown().contains(QStringLiteral("Hide Desktop HUD")));
    EXPECT_EQ(shown().filter(QStringLiteral("[score 0.50]")).size(), 3);

    // An unchanged state announces nothing: no entry changes.
    int changes = 0;
    for (QAction* a : menu.actions()) QObject::connect(a, &QAction::changed, [&] { ++changes; });
    fillStatusMenu(menu, busyLayout, [&](StatusMenuRow::Action a) { triggered << a; });
    EXPECT_EQ(changes, 0);

    // And back: the extra lines hide again; actions still reach their handlers once each.
    fillStatusMenu(menu, idleLayout, [&](StatusMenuRow::Action a) { triggered << a; });
    EXPECT_EQ(menu.actions(), first);
    EXPECT_EQ(shown(), titles(statusMenuRows(idle)));
    for (QAction* a : menu.actions())
        if (a->text() == QStringLiteral("Show Desktop HUD")) a->trigger();
    EXPECT_EQ(triggered, QList<StatusMenuRow::Action>{StatusMenuRow::Action::toggleDesktopHUD});
}
