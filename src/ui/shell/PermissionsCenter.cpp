#include "ui/shell/PermissionsCenter.h"

#include "core/Clock.h"
#include "core/Scheduler.h"

#include <QPointer>

using namespace std::chrono_literals;
using Folder = PermissionProbes::Folder;

namespace {

std::optional<Folder> folderOf(const QString& id)
{
    if (id == QStringLiteral("desktop")) return Folder::desktop;
    if (id == QStringLiteral("documents")) return Folder::documents;
    if (id == QStringLiteral("downloads")) return Folder::downloads;
    return std::nullopt;
}

}  // namespace

PermissionsCenter::PermissionsCenter(PermissionProbes& probes, Scheduler& scheduler, const Clock& clock, QObject* parent)
    : QObject(parent), m_probes(probes), m_scheduler(scheduler), m_clock(clock)
{
    refresh();
}

int PermissionsCenter::missing() const
{
    return int(std::count_if(m_items.begin(), m_items.end(),
                             [](const PermissionItem& i) { return i.state != PermissionState::granted; }));
}

void PermissionsCenter::refresh()
{
    m_items = {
        {QStringLiteral("fda"), QStringLiteral("Full Disk Access"),
         QStringLiteral("Read the system journal for wake and maintenance reports, and system-level usage."),
         QStringLiteral("The system journal cannot be read, so wake and maintenance reports are incomplete."),
         m_probes.fullDiskAccess(), QStringLiteral("privacy"), false},
        {QStringLiteral("accessibility"), QStringLiteral("Accessibility"),
         QStringLiteral("Detect a physically stuck key and other input faults."), QStringLiteral("Stuck-key watching is off."),
         m_probes.accessibility(), QStringLiteral("universal-access"), false},
        {QStringLiteral("desktop"), QStringLiteral("Desktop Folder"),
         QStringLiteral("Work Guard snapshots of unsaved work on your Desktop."),
         QStringLiteral("Work Guard is half-blind \u2014 it protects Documents but NOT your Desktop."),
         m_probes.folder(Folder::desktop), QStringLiteral("privacy"), true},
        {QStringLiteral("documents"), QStringLiteral("Documents Folder"),
         QStringLiteral("Work Guard snapshots of unsaved work in Documents."),
         QStringLiteral("Work Guard cannot protect files in Documents."), m_probes.folder(Folder::documents),
         QStringLiteral("privacy"), true},
        {QStringLiteral("downloads"), QStringLiteral("Downloads Folder"),
         QStringLiteral("Find large forgotten files in Downloads when reclaiming space."),
         QStringLiteral("Downloads is skipped when looking for space to reclaim."), m_probes.folder(Folder::downloads),
         QStringLiteral("privacy"), true},
        {QStringLiteral("notifications"), QStringLiteral("Notifications"),
         QStringLiteral("Warn you before an automatic cleanup runs, and report what changed."),
         QStringLiteral("Automatic maintenance happens with no warning and no summary."), PermissionState::notDetermined,
         QStringLiteral("notifications"), true},
    };
    m_lastChecked = m_clock.now();
    Q_EMIT changed();

    QPointer<PermissionsCenter> self(this);
    m_probes.notifications(this, [self](PermissionState state) {
        if (!self) return;
        for (PermissionItem& item : self->m_items) {
            if (item.id != QStringLiteral("notifications")) continue;
            item.state = state;
            Q_EMIT self->changed();
            return;
        }
    });
}

void PermissionsCenter::requestAccess(const PermissionItem& item)
{
    if (item.id == QStringLiteral("notifications")) {
        // Asking again is asking the server again; the refresh below does that.
    } else if (const std::optional<Folder> folder = folderOf(item.id)) {
        // Linux asks nothing before a folder is read: what blocks it is its mode, which the
        // settings pane explains.
        if (item.state == PermissionState::denied) openSettings(item);
    } else {
        openSettings(item);
    }
    QPointer<PermissionsCenter> self(this);
    m_scheduler.after(1500ms, this, [self] {
        if (self) self->refresh();
    });
}

void PermissionsCenter::openSettings(const PermissionItem& item)
{
    if (m_probes.openSettings(item.settingsPane)) {
        m_message.reset();
    } else {
        m_message = settingsUnavailableText;
    }
    Q_EMIT changed();
}
