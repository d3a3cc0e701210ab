#include "services/UserDataCenter.h"

#include "core/Clock.h"
#include "core/Dates.h"
#include "core/Executor.h"
#include "core/Json.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "core/Trash.h"
#include "core/UserDefaults.h"
#include "services/UpdateChecker.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kLastRunKey = QStringLiteral("autopilot_last_run");
// Larger files are listed with their size only: the export stays a document one can open.
constexpr qint64 kMaxEmbeddedBytes = 4 * 1024 * 1024;

std::optional<UserDataCenter::UninstallPlan>& pendingUninstall()
{
    static std::optional<UserDataCenter::UninstallPlan> plan;
    return plan;
}

QString isoDate(const QDateTime& time) { return time.toUTC().toString(Qt::ISODate); }

// A stored value as plain JSON: raw bytes as base64 text, the one stored date as ISO-8601.
QJsonValue exportedSetting(const QString& key, const QJsonValue& value)
{
    if (key == QLatin1String("byoKeyValue")) return QStringLiteral("<redacted>");
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        const QJsonValue data = object.value(QLatin1String("$data"));
        if (object.size() == 1 && data.isString()) return data;
    }
    if (key == kLastRunKey && value.isDouble()) {
        const QDateTime when = Dates::fromReferenceSeconds(value.toDouble());
        if (when.isValid()) return isoDate(when);
    }
    return value;
}

QJsonObject storedFiles(const QString& folder)
{
    QJsonObject files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink()) continue;
        QJsonObject entry{{QStringLiteral("bytes"), double(info.size())},
                          {QStringLiteral("modifiedAt"), isoDate(info.lastModified())}};
        if (info.size() <= kMaxEmbeddedBytes) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = file.readAll();
                QJsonParseError error{};
                const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
                if (error.error == QJsonParseError::NoError && !document.isNull()) {
                    entry.insert(QStringLiteral("json"),
                                 document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()));
                } else {
                    entry.insert(QStringLiteral("base64"), QString::fromLatin1(bytes.toBase64()));
                }
            }
        }
        files.insert(root.relativeFilePath(path), entry);
    }
    return files;
}

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString parentOf(const QString& path) { return QFileInfo(path).absolutePath(); }

}  // namespace

UserDataCenter::UserDataCenter(Collaborators c, QObject* parent) : QObject(parent), m_c(std::move(c)) {}

QString UserDataCenter::dataFolder() { return Paths::appSupportDir(); }

void UserDataCenter::setLastAction(const QString& text)
{
    m_lastAction = text;
    Q_EMIT lastActionChanged();
}

void UserDataCenter::setBusy(bool busy)
{
    if (m_busy == busy) return;
    m_busy = busy;
    Q_EMIT busyChanged();
}

QJsonObject UserDataCenter::exportDocument(const QJsonObject& settings, const QString& folder, const QString& exportedAt)
{
    QJsonObject exported;
    for (auto it = settings.begin(); it != settings.end(); ++it) exported.insert(it.key(), exportedSetting(it.key(), it.value()));
    QJsonObject document{{QStringLiteral("exportedAt"), exportedAt},
                         {QStringLiteral("appVersion"), currentAppVersion()},
                         {QStringLiteral("settings"), exported}};
    if (const auto history = Json::readFile(folder + QStringLiteral("/autopilot_history.json"))) {
        document.insert(QStringLiteral("maintenanceHistory"),
                        history->isArray() ? QJsonValue(history->array()) : QJsonValue(history->object()));
    }
    document.insert(QStringLiteral("storedFiles"), storedFiles(folder));
    return document;
}

void UserDataCenter::exportMyData(const QString& path)
{
    if (path.isEmpty()) return;
    const QJsonObject settings = m_c.defaults.entries();
    const QString exportedAt = isoDate(m_c.clock.now());
    const QString folder = dataFolder();
    QPointer<UserDataCenter> self(this);
    setBusy(true);
    m_c.worker.async([self, settings, exportedAt, folder, path] {
        // QJsonDocument writes keys in sorted order.
        const QByteArray bytes = QJsonDocument(exportDocument(settings, folder, exportedAt)).toJson(QJsonDocument::Indented);
        const Status written = Json::writeFileAtomically(path, bytes);
        if (!self) return;
        postTo(self, [self, written, path] {
            if (!self) return;
            self->setBusy(false);
            if (!written) {
                self->setLastAction(QStringLiteral("Export failed \u2014 ") + written.error());
                return;
            }
            self->setLastAction(QStringLiteral("Exported to ") + QFileInfo(path).fileName() + QLatin1Char('.'));
            if (self->m_c.revealFile) self->m_c.revealFile(path);
        });
    });
}

QStringList UserDataCenter::storedItemURLs() const
{
    QStringList paths;
    for (const StoredItem& item : uninstallPlan(m_c.executablePath).items) paths.append(item.path);
    return paths;
}

quint64 UserDataCenter::storedDataSize(const QString& folder)
{
    quint64 total = 0;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray path = QFile::encodeName(it.next());
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        total += quint64(st.st_blocks) * 512u;
    }
    return total;
}

void UserDataCenter::refreshStoredBytes()
{
    QPointer<UserDataCenter> self(this);
    const QString folder = dataFolder();
    m_c.worker.async([self, folder] {
        const quint64 bytes = storedDataSize(folder);
        if (!self) return;
        postTo(self, [self, bytes] {
            if (!self) return;
            self->m_storedBytes = bytes;
            Q_EMIT self->storedBytesChanged();
        });
    });
}

void UserDataCenter::resetSettings()
{
    if (m_c.defaults.entries().isEmpty()) return;
    m_c.defaults.removeAllExcept(preservedKeys);
    setLastAction(QStringLiteral("Settings restored to defaults. Quit and reopen Veltranmoor for every screen to pick this up."));
}

void UserDataCenter::clearStoredData()
{
    const QString folder = dataFolder();
    QPointer<UserDataCenter> self(this);
    setBusy(true);
    m_c.worker.async([self, folder] {
        int moved = 0;
        const QStringList names =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            const auto result = Trash::move(folder, folder + QLatin1Char('/') + name);
            if (result) ++moved;
            else Log::line(QStringLiteral("[Veltranmoor] ") + result.error());
        }
        if (!self) return;
        postTo(self, [self, moved] {
            if (!self) return;
            self->m_c.defaults.remove(kLastRunKey);
            self->setBusy(false);
            if (moved == 0) {
                self->setLastAction(QStringLiteral("Nothing stored to clear."));
            } else {
                self->setLastAction(QStringLiteral("Moved ") + QString::number(moved) + QStringLiteral(" stored item") +
                                    (moved == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" to the Trash."));
            }
        });
    });
}

UserDataCenter::InstallKind UserDataCenter::installKind(const QString& executablePath)
{
    const QFileInfo exe(executablePath);
    QString path = exe.canonicalFilePath();
    if (path.isEmpty()) path = exe.absoluteFilePath();
    for (const char* managed : {"/usr/", "/opt/", "/bin/", "/sbin/", "/snap/"}) {
        if (path.startsWith(QLatin1String(managed)) && !path.startsWith(QLatin1String("/usr/local/"))) {
            return InstallKind::package;
        }
    }
    const QString bin = QFileInfo(path).absolutePath();
    const QString prefix = parentOf(bin);
    if (QFileInfo(bin).fileName() == QLatin1String("bin") &&
        QFileInfo::exists(prefix + QStringLiteral("/share/applications/veltranmoor.desktop"))) {
        return ::access(QFile::encodeName(bin).constData(), W_OK) == 0 ? InstallKind::prefix : InstallKind::adminPrefix;
    }
    return InstallKind::buildTree;
}

UserDataCenter::UninstallPlan UserDataCenter::uninstallPlan(const QString& executablePath)
{
    UninstallPlan plan;
    const QString autostartFolder = Paths::configHome() + QStringLiteral("/autostart");
    const QList<StoredItem> userItems = {
        {Paths::dataHome(), Paths::appSupportDir()},
        {Paths::configHome(), Paths::configDir()},
        {Paths::cacheHome(), Paths::cacheDir()},
        {autostartFolder, autostartFolder + QStringLiteral("/veltranmoor.desktop")},
    };
    for (const StoredItem& item : userItems) {
        if (exists(item.path)) plan.items.append(item);
    }

    const QFileInfo exe(executablePath);
    const QString program = exe.canonicalFilePath().isEmpty() ? exe.absoluteFilePath() : exe.canonicalFilePath();
    const QString prefix = parentOf(QFileInfo(program).absolutePath());
    switch (installKind(executablePath)) {
    case InstallKind::package:
        plan.refusal = QStringLiteral("Veltranmoor was installed by the system's package manager; remove it with "
                                      "\"sudo apt remove veltranmoor\". Nothing was moved.");
        break;
    case InstallKind::adminPrefix:
        plan.refusal = QStringLiteral("Veltranmoor was installed under %1 by an administrator; remove it from its "
                                      "source folder with \"sudo make uninstall PREFIX=%1\". Nothing was moved.")
                           .arg(prefix);
        break;
    case InstallKind::prefix: {
        // Exactly what `make install` put there.
        QList<StoredItem> files = {
            {prefix + QStringLiteral("/bin"), program},
            {prefix + QStringLiteral("/share/applications"), prefix + QStringLiteral("/share/applications/veltranmoor.desktop")},
        };
        const QString icons = prefix + QStringLiteral("/share/icons/hicolor");
        for (const QString& size : QDir(icons).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            for (const char* file : {"veltranmoor.svg", "veltranmoor.png"}) {
                const QString apps = icons + QLatin1Char('/') + size + QStringLiteral("/apps");
                files.append({apps, apps + QLatin1Char('/') + QLatin1String(file)});
            }
        }
        for (const StoredItem& item : files) {
            if (exists(item.path)) plan.items.append(item);
        }
        break;
    }
    case InstallKind::buildTree:
        break;
    }
    return plan;
}

int UserDataCenter::carryOut(const UninstallPlan& plan)
{
    if (!plan.refusal.isEmpty()) return 0;
    int moved = 0;
    QStringList entryFolders;
    for (const StoredItem& item : plan.items) {
        const auto result = Trash::move(item.root, item.path);
        if (!result) {
            Log::line(QStringLiteral("[Veltranmoor] ") + result.error());
            continue;
        }
        ++moved;
        if (item.path.endsWith(QLatin1String("/share/applications/veltranmoor.desktop"))) entryFolders.append(item.root);
    }
    // The desktop database still names the moved entry as the handler of veltranmoor://.
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    for (const QString& folder : entryFolders) {
        if (tool.isEmpty()) break;
        QProcess refresh;
        refresh.start(tool, {QStringLiteral("-q"), folder});
        if (!refresh.waitForFinished(10000)) refresh.kill();
    }
    return moved;
}

void UserDataCenter::uninstallApp()
{
    UninstallPlan plan = uninstallPlan(m_c.executablePath);
    if (!plan.refusal.isEmpty()) {
        setLastAction(plan.refusal);
        return;
    }
    // The managers save their state while they stop: the move waits until they are gone, so
    // nothing is written back into the folders afterwards.
    pendingUninstall() = std::move(plan);
    if (m_c.quit) m_c.quit();
}

void UserDataCenter::finishPendingUninstall()
{
    auto& plan = pendingUninstall();
    if (!plan) return;
    const int moved = carryOut(*plan);
    Log::line(QStringLiteral("[Veltranmoor] Uninstalled: moved %1 item%2 to the Trash").arg(moved).arg(moved == 1 ? "" : "s"));
    plan.reset();
}
