#pragma once

#include "actions/QuickFix.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

// The Maintenance tab's texts, built from the maintenance tools' published state. Pure, so the
// view and its tests share them.
namespace MaintenanceModel {

inline const QString pageTitle = QStringLiteral("QUICK MAINTENANCE");
inline const QString pageCaption =
    QStringLiteral("One-click recovery for the small computer problems that usually take a Terminal session.");

inline const QString fixesTitle = QStringLiteral("INSTANT FIXES");
// Shown on each row that asks for the administrator password, beside its lock.
inline const QString passwordNote = QStringLiteral("Prompts for your password once");
inline const QString audioTitle = QStringLiteral("Reset Audio Server");
inline const QString dnsTitle = QStringLiteral("Flush DNS Cache");

inline const QString snapshotsTitle = QStringLiteral("LOCAL SNAPSHOTS (SNAPPER)");
inline const QString noSnapshotsCaption =
    QStringLiteral("Locally stored snapper copies (separate from any external backup)");
inline const QString noSnapshotsTitle = QStringLiteral("No local snapshots");
inline const QString noSnapshotsSubtitle =
    QStringLiteral("snapper isn't holding any snapshots on this volume right now.");
inline const QString deleteAllLabel = QStringLiteral("Delete All");
inline const QString deleteAllTitle = QStringLiteral("Delete all local snapshots?");
inline const QString deleteAllMessage = QStringLiteral(
    "This removes snapper's local copies. Your remote backups are unaffected. This cannot be undone.");

inline const QString wakeTitle = QStringLiteral("SLEEP / WAKE ANALYSIS");
inline const QString wakeCaption = QStringLiteral("Why your computer woke up while you weren't looking");
inline const QString wakePendingTitle = QStringLiteral("Reading sleep log\u2026");
inline const QString wakePendingSubtitle =
    QStringLiteral("Parsing the system journal's events for the selected window.");
inline const QString wakeEventsHeading = QStringLiteral("WAKE EVENTS");
inline const QString topReasonsHeading = QStringLiteral("TOP REASONS");

// One line of outcome at the top of the page.
struct Status {
    QString message;
    bool isError = false;
    friend bool operator==(const Status&, const Status&) = default;
};

// The relative description of `date` seen from `now`, in abbreviated units ("5 min. ago",
// "in 2 hr.").
QString relativeText(const QDateTime& date, const QDateTime& now);

QString audioSubtitle(const std::optional<QDateTime>& lastReset, const QDateTime& now);
QString dnsSubtitle(const std::optional<QDateTime>& lastFlush, const QDateTime& now);
// The fix's subtitle, followed by how many whole minutes ago it last succeeded.
QString quickFixSubtitle(const QuickFix& fix, const QHash<QString, QDateTime>& lastRun, const QDateTime& now);

Status audioOutcome(bool success, const std::optional<QString>& error);
Status dnsOutcome(bool success, const std::optional<QString>& error);
// `message` is the tools' error, or on success what was done.
Status quickFixOutcome(const QuickFix& fix, bool success, const std::optional<QString>& message);
Status deleteOneOutcome(bool success);
Status deleteAllOutcome(int deleted, qsizetype failures);

// "3 snapshots found", or the section's description when there are none.
QString snapshotCountCaption(qsizetype count);
// The snapshot's date in the locale's abbreviated date and short time ("Jan 15, 2024, 8:30 AM").
QString snapshotDateText(const QDateTime& date, const QLocale& locale);

struct WakeWindow {
    QString label;
    int hours;
};
// The window picker's segments, in order.
const QList<WakeWindow>& wakeWindows();
inline constexpr int defaultWakeWindowHours = 24;

}  // namespace MaintenanceModel
