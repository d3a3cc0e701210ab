#include "ui/dashboard/maintenance/MaintenanceModel.h"

#include "actions/MaintenanceTools.h"

#include <cstdlib>

namespace MaintenanceModel {

namespace {

QString count(qint64 n) { return QString::number(n); }

Status repairOutcome(bool success, const std::optional<QString>& error, const QString& done, const QString& fallback)
{
    if (success) return {done, false};
    if (error && !error->trimmed().isEmpty()) return {*error, true};
    return {fallback, true};
}

}  // namespace

QString relativeText(const QDateTime& date, const QDateTime& now)
{
    const qint64 seconds = date.secsTo(now);
    const qint64 span = std::llabs(seconds);
    QString amount;
    if (span < 60) {
        amount = count(span) + QStringLiteral(" sec.");
    } else if (span < 3600) {
        amount = count(span / 60) + QStringLiteral(" min.");
    } else if (span < 86400) {
        amount = count(span / 3600) + QStringLiteral(" hr.");
    } else if (span < 7 * 86400) {
        const qint64 days = span / 86400;
        amount = count(days) + (days == 1 ? QStringLiteral(" day") : QStringLiteral(" days"));
    } else {
        amount = count(span / (7 * 86400)) + QStringLiteral(" wk.");
    }
    return seconds < 0 ? QStringLiteral("in ") + amount : amount + QStringLiteral(" ago");
}

QString audioSubtitle(const std::optional<QDateTime>& lastReset, const QDateTime& now)
{
    if (lastReset) return QStringLiteral("Last reset ") + relativeText(*lastReset, now);
    return QStringLiteral("Recover from stuck devices, Bluetooth audio drop-outs, distorted output");
}

QString dnsSubtitle(const std::optional<QDateTime>& lastFlush, const QDateTime& now)
{
    if (lastFlush) return QStringLiteral("Last flush ") + relativeText(*lastFlush, now);
    return QStringLiteral("Fix VPN switch issues, broken .local hostnames, stale MX lookups");
}

QString quickFixSubtitle(const QuickFix& fix, const QHash<QString, QDateTime>& lastRun, const QDateTime& now)
{
    const auto it = lastRun.constFind(fix.id);
    if (it == lastRun.constEnd()) return fix.subtitle;
    // Whole minutes, cut toward zero; a date ahead of now counts as just now.
    const qint64 minutes = it->msecsTo(now) / 60000;
    if (minutes < 1) return fix.subtitle + QStringLiteral(" \u00b7 just ran");
    return fix.subtitle + QStringLiteral(" \u00b7 ran ") + count(minutes) + QStringLiteral("m ago");
}

Status audioOutcome(bool success, const std::optional<QString>& error)
{
    return repairOutcome(success, error, QStringLiteral("Audio server restarted."), QStringLiteral("Reset failed."));
}

Status dnsOutcome(bool success, const std::optional<QString>& error)
{
    return repairOutcome(success, error, QStringLiteral("DNS cache flushed."), QStringLiteral("Flush failed."));
}

Status quickFixOutcome(const QuickFix& fix, bool success, const std::optional<QString>& message)
{
    // A restart that found nothing to restart did not restart anything: say so.
    if (success && message && message->startsWith(QLatin1String(MaintenanceTools::nothingToRestartText))) {
        return {*message + QLatin1Char('.'), false};
    }
    return repairOutcome(success, message, fix.logDetail + QLatin1Char('.'), fix.title + QStringLiteral(" failed."));
}

Status deleteOneOutcome(bool success)
{
    return success ? Status{QStringLiteral("Snapshot deleted."), false}
                   : Status{QStringLiteral("Snapshot delete failed."), true};
}

Status deleteAllOutcome(int deleted, qsizetype failures)
{
    if (failures > 0) {
        return {QStringLiteral("Deleted ") + count(deleted) + QStringLiteral(", failed ") + count(failures) +
                    QLatin1Char('.'),
                true};
    }
    return {QStringLiteral("Deleted ") + count(deleted) + QStringLiteral(" snapshot") +
                (deleted == 1 ? QString() : QStringLiteral("s")) + QLatin1Char('.'),
            false};
}

QString snapshotCountCaption(qsizetype n)
{
    if (n <= 0) return noSnapshotsCaption;
    return count(n) + QStringLiteral(" snapshot") + (n == 1 ? QString() : QStringLiteral("s")) +
           QStringLiteral(" found");
}

QString snapshotDateText(const QDateTime& date, const QLocale& locale)
{
    // The locale's long date without the weekday and with the month abbreviated.
    QString format = locale.dateFormat(QLocale::LongFormat);
    for (const QString& weekday : {QStringLiteral("dddd, "), QStringLiteral("dddd "), QStringLiteral(", dddd"),
                                   QStringLiteral("dddd")}) {
        format.remove(weekday);
    }
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), format.trimmed()) + QStringLiteral(", ") +
           locale.toString(local.time(), QLocale::ShortFormat);
}

const QList<WakeWindow>& wakeWindows()
{
    static const QList<WakeWindow> windows{{QStringLiteral("12h"), 12},
                                           {QStringLiteral("24h"), 24},
                                           {QStringLiteral("72h"), 72},
                                           {QStringLiteral("7d"), 168}};
    return windows;
}

}  // namespace MaintenanceModel
