#include "ui/shell/StatusMenu.h"

#include "platform/FrameSource.h"

#include <QFileInfo>
#include <QMenu>
#include <QTextBoundaryFinder>

namespace {

// The first `count` user-perceived characters, so an emoji or an accented letter is never cut
// in half.
QString firstGraphemes(const QString& text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    while (seen < count) {
        if (finder.toNextBoundary() < 0) return text;
        ++seen;
    }
    return text.left(finder.position());
}

StatusMenuRow line(QString title) { return StatusMenuRow{std::move(title)}; }

StatusMenuRow header(QString title)
{
    StatusMenuRow row{std::move(title)};
    row.header = true;
    return row;
}

StatusMenuRow entry(QString title, StatusMenuRow::Action action, QKeySequence shortcut = {})
{
    return StatusMenuRow{std::move(title), action, std::move(shortcut)};
}

StatusMenuRow separator() { return StatusMenuRow{}; }

// A place for a line that may come and go; a hidden one keeps a title so it is never taken for
// a separator.
StatusMenuRow optionalLine(bool shown, QString title)
{
    StatusMenuRow row = line(shown ? std::move(title) : QStringLiteral("  \u2022"));
    row.visible = shown;
    return row;
}

}  // namespace

QString relativeAgeText(const QDateTime& date, const QDateTime& now)
{
    const qint64 s = date.msecsTo(now) / 1000;  // cut toward zero
    if (s < 60) return QString::number(s) + QStringLiteral("s ago");
    if (s < 3600) return QString::number(s / 60) + QStringLiteral("m ago");
    if (s < 86400) return QString::number(s / 3600) + QStringLiteral("h ago");
    return QString::number(s / 86400) + QStringLiteral("d ago");
}

QString snoozeStateText(bool enabled, bool running, bool cameraRunning, bool keyWatchRunning)
{
    if (!enabled) return QStringLiteral("Disabled");
    if (!running) return QStringLiteral("Off");
    if (cameraRunning && keyWatchRunning) return QStringLiteral("Armed \u25CF");
    if (cameraRunning || keyWatchRunning) return QStringLiteral("Partial \u25D0");
    return QStringLiteral("Off");
}

SnoozeMenuTexts snoozeMenuTexts(const StatusMenuState& s)
{
    SnoozeMenuTexts t;
    t.header = QStringLiteral("Snooze Guard: ") +
               snoozeStateText(s.snoozeGuardEnabled, s.snoozeRunning, s.cameraRunning, s.keyWatchRunning);
    QString camera;
    if (s.cameraDenied) camera = QStringLiteral("denied / not granted");
    else if (s.cameraRunning) camera = QStringLiteral("OK");
    else if (s.cameraFailure == FrameSource::noCameraError()) camera = QStringLiteral("none");
    else if (!s.cameraFailure.isEmpty()) camera = s.cameraFailure;
    else camera = QStringLiteral("off");
    t.camera = QStringLiteral("  Camera: ") + camera;
    QString keys;
    if (s.accessibilityDenied) keys = QStringLiteral("denied / restart after grant");
    else if (s.keyWatchRunning) keys = QStringLiteral("OK");
    else keys = QStringLiteral("off");
    t.accessibility = QStringLiteral("  Accessibility: ") + keys;
    return t;
}

QList<StatusMenuRow> statusMenuRows(const StatusMenuState& s)
{
    QList<StatusMenuRow> shown;
    for (const StatusMenuRow& row : statusMenuLayout(s))
        if (row.visible) shown << row;
    return shown;
}

QList<StatusMenuRow> statusMenuLayout(const StatusMenuState& s)
{
    using A = StatusMenuRow::Action;
    QList<StatusMenuRow> rows;
    const SnoozeMenuTexts snooze = snoozeMenuTexts(s);
    rows << header(snooze.header);
    rows << line(snooze.camera);
    rows << line(snooze.accessibility);
    rows << separator();
    rows << entry(QStringLiteral("Test Alert"), A::testSnoozeAlert, QKeySequence(Qt::CTRL | Qt::Key_T));
    rows << entry(QStringLiteral("Recheck Permissions / Restart Watch"), A::restartSnooze, QKeySequence(Qt::CTRL | Qt::Key_R));
    rows << separator();

    const qsizetype n = s.aiProcesses.size();
    rows << header(QStringLiteral("AI Shield: ") + QString::number(n) + QStringLiteral(" AI process") +
                   (n == 1 ? QString() : QStringLiteral("es")));
    for (qsizetype i = 0; i < 5; ++i) {
        if (i >= n) {
            rows << optionalLine(false, {});
            continue;
        }
        const auto& p = s.aiProcesses[i];
        rows << line(QStringLiteral("  \u2022 ") + p.name + QStringLiteral(" (pid ") + QString::number(p.pid) + QLatin1Char(')'));
    }
    rows << optionalLine(n >= 6, QStringLiteral("  \u2022 \u2026and ") + QString::number(n - 5) + QStringLiteral(" more"));
    rows << optionalLine(s.lastSuspiciousEvent.has_value(),
                         QStringLiteral("  \u26A0 ") + firstGraphemes(s.lastSuspiciousEvent.value_or(QString()), 80));
    rows << entry(QStringLiteral("Show AI Shield Log in Files"), A::revealShieldLog);
    rows << separator();

    const int64_t t = s.totalSnapshots;
    rows << header(QStringLiteral("Work Guard: ") + QString::number(t) + QStringLiteral(" snapshot") +
                   (t == 1 ? QString() : QStringLiteral("s")));
    if (s.lastSweepAt) {
        rows << line(QStringLiteral("  Last sweep: ") + relativeAgeText(*s.lastSweepAt, s.now) + QStringLiteral(" (") +
                     s.lastTrigger.value_or(QStringLiteral("\u2014")) + QLatin1Char(')'));
    } else {
        rows << line(QStringLiteral("  Last sweep: never"));
    }
    rows << optionalLine(s.workGuardNotice.has_value(), QStringLiteral("  \u26A0 ") + s.workGuardNotice.value_or(QString()));
    for (qsizetype i = 0; i < 3; ++i) {
        if (i >= s.lastRanked.size()) {
            rows << optionalLine(false, {});
            continue;
        }
        const auto& f = s.lastRanked[i];
        rows << line(QStringLiteral("  \u2022 ") + QFileInfo(f.file.path()).fileName() + QStringLiteral("  [score ") +
                     QString::asprintf("%.2f", f.score) + QLatin1Char(']'));
    }
    rows << entry(QStringLiteral("Snapshot Now"), A::workGuardSweepNow, QKeySequence(Qt::CTRL | Qt::Key_S));
    rows << entry(QStringLiteral("Open Recovery Browser\u2026"), A::openRecoveryBrowser,
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    rows << entry(QStringLiteral("Show Snapshots in Files"), A::revealSnapshots);
    rows << separator();
    rows << entry(s.hudVisible ? QStringLiteral("Hide Desktop HUD") : QStringLiteral("Show Desktop HUD"), A::toggleDesktopHUD,
                  QKeySequence(Qt::CTRL | Qt::Key_H));
    rows << entry(QStringLiteral("Open Dashboard"), A::openDashboard);
    rows << entry(QStringLiteral("Settings\u2026"), A::openSettings, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    rows << entry(QStringLiteral("Quit Veltranmoor"), A::quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    return rows;
}

void fillStatusMenu(QMenu& menu, const QList<StatusMenuRow>& rows,
                    const std::function<void(StatusMenuRow::Action)>& trigger)
{
    QList<QAction*> actions = menu.actions();
    bool sameKinds = actions.size() == rows.size();
    for (qsizetype i = 0; sameKinds && i < rows.size(); ++i)
        sameKinds = actions[i]->isSeparator() == rows[i].isSeparator() &&
                    actions[i]->data().toInt() == int(rows[i].action);
    if (!sameKinds) {
        menu.clear();
        actions.clear();
        for (const StatusMenuRow& row : rows) {
            if (row.isSeparator()) {
                actions << menu.addSeparator();
                continue;
            }
            QAction* action = menu.addAction(row.title);
            action->setData(int(row.action));
            if (row.action != StatusMenuRow::Action::none) {
                const StatusMenuRow::Action which = row.action;
                QObject::connect(action, &QAction::triggered, &menu, [trigger, which] { trigger(which); });
            }
            actions << action;
        }
    }
    // Each property is set only when it changes: an unchanged entry announces nothing.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const StatusMenuRow& row = rows[i];
        QAction* action = actions[i];
        if (row.isSeparator()) continue;
        if (action->text() != row.title) action->setText(row.title);
        if (action->shortcut() != row.shortcut) action->setShortcut(row.shortcut);
        // Status lines read greyed, like every line without an action.
        const bool enabled = row.action != StatusMenuRow::Action::none;
        if (action->isEnabled() != enabled) action->setEnabled(enabled);
        if (action->isVisible() != row.visible) action->setVisible(row.visible);
    }
}
