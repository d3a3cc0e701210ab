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
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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

// A JSON value as text, nested `level` deep in the pretty-printed document.
QByteArray jsonText(const QJsonValue& value, int level)
{
    QByteArray text;
    if (value.isObject() || value.isArray()) {
        text = value.isObject() ? QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented)
                                : QJsonDocument(value.toArray()).toJson(QJsonDocument::Indented);
        if (text.endsWith('\n')) text.chop(1);
        // Strings never hold a raw line break, so every one starts a line of the value.
        text.replace("\n", "\n" + QByteArray(4 * level, ' '));
    } else {
        text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        text = text.mid(1, text.size() - 2);
    }
    return text;
}

struct StoredFile {
    QString relative;
    QString path;
    qint64 bytes;
    QDateTime modified;
};

// What a stored file contributes: its size and time, and its content when it is the
// application's own data. Work Guard's revisions are copies of the user's documents: they are
// listed, never copied into the export.
QJsonObject storedFileEntry(const StoredFile& file)
{
    QJsonObject entry{{QStringLiteral("bytes"), double(file.bytes)},
                      {QStringLiteral("modifiedAt"), isoDate(file.modified)}};
    const bool revision = file.relative.startsWith(QLatin1String("Snapshots/"));
    if (revision || file.bytes > kMaxEmbeddedBytes) return entry;
    QFile f(file.path);
    if (!f.open(QIODevice::ReadOnly)) return entry;
    const QByteArray bytes = f.read(kMaxEmbeddedBytes + 1);
    if (bytes.size() > kMaxEmbeddedBytes) return entry;  // it grew meanwhile
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError && !document.isNull()) {
        entry.insert(QStringLiteral("json"), document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()));
    } else {
        entry.insert(QStringLiteral("base64"), QString::fromLatin1(bytes.toBase64()));
    }
    return entry;
}

QList<StoredFile> storedFiles(const QString& folder)
{
    QList<StoredFile> files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink()) continue;
        files.append({root.relativeFilePath(path), path, info.size(), info.lastModified()});
    }
    // The document's keys are sorted, as QJsonDocument sorts them.
    std::sort(files.begin(), files.end(), [](const StoredFile& a, const StoredFile& b) { return a.relative < b.relative; });
    return files;
}

// Writes the pieces of the document as they are made: a file is read only while its entry is
// written, so memory stays the size of the largest embedded file whatever the folder holds.
class ExportWriter {
public:
    explicit ExportWriter(const QString& path) : m_file(path) {}

    Status open()
    {
        const QFileInfo info(m_file.fileName());
        if (!QDir().mkpath(info.absolutePath())) return Status::failure(QStringLiteral("Cannot create folder ") + info.absolutePath());
        if (!m_file.open(QIODevice::WriteOnly)) return Status::failure(m_file.errorString());
        return Status::success();
    }
    void write(const QByteArray& bytes)
    {
        if (m_failed) return;
        if (m_file.write(bytes) != bytes.size()) m_failed = true;
    }
    // `"key": value` at `level`, after a comma unless it is the first member.
    void member(const QString& key, const QByteArray& value, int level, bool& first)
    {
        write((first ? QByteArray("\n") : QByteArray(",\n")) + QByteArray(4 * level, ' ') + jsonText(key, 0) + ": " + value);
        first = false;
    }
    Status commit()
    {
        if (m_failed) {
            const QString error = m_file.errorString();
            m_file.cancelWriting();
            return Status::failure(error);
        }
        if (!m_file.commit()) return Status::failure(m_file.errorString());  // the commit syncs the file first
        return Status::success();
    }

private:
    QSaveFile m_file;
    bool m_failed = false;
};

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

Status UserDataCenter::writeExport(const QJsonObject& settings, const QString& folder, const QString& exportedAt,
                                  const QString& path)
{
    ExportWriter out(path);
    if (const Status opened = out.open(); !opened) return opened;
    QJsonObject exported;
    for (auto it = settings.begin(); it != settings.end(); ++it) exported.insert(it.key(), exportedSetting(it.key(), it.value()));

    // The members in sorted order, as the platform's sorted-keys encoding writes them.
    bool first = true;
    out.write("{");
    out.member(QStringLiteral("appVersion"), jsonText(currentAppVersion(), 1), 1, first);
    out.member(QStringLiteral("exportedAt"), jsonText(exportedAt, 1), 1, first);
    if (const auto history = Json::readFile(folder + QStringLiteral("/autopilot_history.json"))) {
        out.member(QStringLiteral("maintenanceHistory"),
                   jsonText(history->isArray() ? QJsonValue(history->array()) : QJsonValue(history->object()), 1), 1, first);
    }
    out.member(QStringLiteral("settings"), jsonText(exported, 1), 1, first);
    const QList<StoredFile> files = storedFiles(folder);
    if (files.isEmpty()) {
        out.member(QStringLiteral("storedFiles"), "{\n    }", 1, first);
    } else {
        out.member(QStringLiteral("storedFiles"), "{", 1, first);
        bool firstFile = true;
        for (const StoredFile& file : files) out.member(file.relative, jsonText(storedFileEntry(file), 2), 2, firstFile);
        out.write("\n    }");
    }
    out.write("\n}\n");
    return out.commit();
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
        const Status written = writeExport(settings, folder, exportedAt, path);
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
