#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class AppSettings;
enum class PermissionRemedy;
struct ProfileSwitchEvent;

// The small rules of the settings pages, apart from their widgets.

namespace ProtectedProcesses {
// The stored JSON array of names; anything else reads as no names.
QStringList decode(const QByteArray& data);
QByteArray encode(const QStringList& names);
// Adds the typed name with spaces and tabs trimmed from both ends (stored once). False when
// nothing is left to add, and then the field keeps its text.
bool add(AppSettings& settings, const QString& typed);
// Removes every copy of the name; stores the list even when nothing was removed.
void remove(AppSettings& settings, const QString& name);
}  // namespace ProtectedProcesses

// The scheduled hour on a 12-hour clock whatever the clock setting ("3:00 AM", "12:00 PM").
QString autoPilotHourLabel(qint64 hour);

namespace QuietHours {
// The hour of a minutes-of-day setting (cut toward zero) and the setting after choosing an
// hour, which keeps its minutes.
qint64 hourOf(qint64 minutes);
qint64 withHour(qint64 minutes, qint64 hour);
// "%02d:%02d" of the minutes clamped to the day.
QString clockText(qint64 minutes);
}  // namespace QuietHours

// A profile history row's left text: "from → to", or the profile alone where it was applied
// without a switch from another one (at start-up, or chosen again).
QString profileHistoryLine(const ProfileSwitchEvent& event);

// The Permissions page's summary for this many missing permissions.
QString permissionsSummary(int missing);
// The button a missing permission's card offers; empty where there is nothing to press.
QString remedyButtonText(PermissionRemedy remedy);
inline const QString permissionsFooter =
    QStringLiteral("Linux does not prompt for any of these. Where one is missing, its card says what to change; "
                   "Re-check reads them again.");

// Why an API key cannot be stored (a line break or another control character in it), or none.
std::optional<QString> apiKeyProblem(const QString& key);
