#include "ui/shell/PermissionsCenter.h"

#include "core/Clock.h"
#include "core/MainThread.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <sys/stat.h>

using namespace std::chrono_literals;
using Folder = PermissionProbes::Folder;

PermissionsCenter::PermissionsCenter(PermissionProbes& probes, Scheduler& scheduler, const Clock& clock, QObject* parent)
    : QObject(parent),
      m_probes(probes),
      m_scheduler(scheduler),
      m_clock(clock),
      m_worker(std::make_unique<SerialQueue>(QStringLiteral("app.veltranmoor.permissions")))
{
    refresh();
}

PermissionsCenter::~PermissionsCenter() { m_worker.reset(); }

int PermissionsCenter::missing() const
{
    return int(std::count_if(m_items.begin(), m_items.end(),
                             [](const PermissionItem& i) { return i.state != PermissionState::granted; }));
}

QString PermissionsCenter::folderModeText(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    if (!S_ISDIR(st.st_mode)) {
        return path + QStringLiteral(" is a file, not a folder. Rename or move it, then Re-check.");
    }
    QString mode = QStringLiteral("d");
    const mode_t bits[] = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP, S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
    for (int i = 0; i < 9; ++i) mode += (st.st_mode & bits[i]) ? QLatin1Char("rwx"[i % 3]) : QLatin1Char('-');
    const QString owner = QFileInfo(path).owner();
    return path + QStringLiteral(" belongs to ") + (owner.isEmpty() ? QString::number(st.st_uid) : owner) +
           QStringLiteral(" with mode ") + mode +
           QStringLiteral(": you need to read, write and open it. Its owner can change that in the folder's "
                          "Properties, or with chmod u+rwx; then Re-check.");
}

void PermissionsCenter::refresh()
{
    auto folderItem = [this](const QString& id, const QString& name, const QString& enables, const QString& ifMissing,
                             Folder folder) {
        PermissionItem item{id, name, enables, ifMissing, m_probes.folder(folder), QString()};
        item.path = m_probes.folderPath(folder);
        if (item.state == PermissionState::notDetermined) {
            item.remedy = PermissionRemedy::createFolder;
        } else if (item.state == PermissionState::denied) {
            item.remedy = PermissionRemedy::showInFiles;
            item.howToFix = folderModeText(item.path);
        }
        return item;
    };
    PermissionItem journal{QStringLiteral("fda"), journalName,
                           QStringLiteral("Read the system journal for wake and maintenance reports, and system-level usage."),
                           QStringLiteral("The system journal cannot be read, so wake and maintenance reports are incomplete."),
                           m_probes.fullDiskAccess(), QString()};
    if (journal.state != PermissionState::granted) journal.howToFix = journalFix;
    m_items = {
        journal,
        {QStringLiteral("accessibility"), QStringLiteral("Accessibility"),
         QStringLiteral("Detect a physically stuck key and other input faults."), QStringLiteral("Stuck-key watching is off."),
         m_probes.accessibility(), QStringLiteral("universal-access"), PermissionRemedy::openSettings},
        folderItem(QStringLiteral("desktop"), QStringLiteral("Desktop Folder"),
                   QStringLiteral("Work Guard snapshots of unsaved work on your Desktop."),
                   QStringLiteral("Work Guard is half-blind \u2014 it protects Documents but NOT your Desktop."),
                   Folder::desktop),
        folderItem(QStringLiteral("documents"), QStringLiteral("Documents Folder"),
                   QStringLiteral("Work Guard snapshots of unsaved work in Documents."),
                   QStringLiteral("Work Guard cannot protect files in Documents."), Folder::documents),
        folderItem(QStringLiteral("downloads"), QStringLiteral("Downloads Folder"),
                   QStringLiteral("Find large forgotten files in Downloads when reclaiming space."),
                   QStringLiteral("Downloads is skipped when looking for space to reclaim."), Folder::downloads),
        {QStringLiteral("notifications"), QStringLiteral("Notifications"),
         QStringLiteral("Warn you before an automatic cleanup runs, and report what changed."),
         QStringLiteral("Automatic maintenance happens with no warning and no summary."), PermissionState::notDetermined,
         QString()},
    };
    m_lastChecked = m_clock.now();
    Q_EMIT changed();

    QPointer<PermissionsCenter> self(this);
    m_probes.notifications(this, [self](PermissionState state) {
        if (!self) return;
        for (PermissionItem& item : self->m_items) {
            if (item.id != QStringLiteral("notifications")) continue;
            item.state = state;
            // Nothing to grant: what is missing is a server on the bus.
            item.howToFix = state == PermissionState::denied ? notificationServerFix : QString();
            Q_EMIT self->changed();
            return;
        }
    });
}

void PermissionsCenter::requestAccess(const PermissionItem& item)
{
    QPointer<PermissionsCenter> self(this);
    switch (item.remedy) {
    case PermissionRemedy::none: break;
    case PermissionRemedy::openSettings: openSettings(item); break;
    case PermissionRemedy::showInFiles: m_probes.showInFiles(item.path); break;
    case PermissionRemedy::createFolder:
        if (!item.path.isEmpty()) {
            // The destructor waits for the worker, so `this` outlives the work.
            m_worker->async([this, self, path = item.path] {
                QDir().mkpath(path);
                postTo(this, [self] {
                    if (self) self->refresh();
                });
            });
        }
        break;
    }
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
