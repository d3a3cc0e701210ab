#include "core/Json.h"

#include "core/Dates.h"
#include "core/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Json {

bool isInteger(const QJsonValue& value)
{
    if (!value.isDouble()) return false;
    const double d = value.toDouble();
    return std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.007199254740992e15;
}

std::optional<QJsonValue> Decoder::required(const QString& key)
{
    auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull() || it->isUndefined()) {
        m_ok = false;
        return std::nullopt;
    }
    return *it;
}

std::optional<QJsonValue> Decoder::optional(const QString& key)
{
    auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull() || it->isUndefined()) return std::nullopt;
    return *it;
}

QString Decoder::string(const QString& key)
{
    auto v = required(key);
    if (!v) return {};
    if (!v->isString()) { m_ok = false; return {}; }
    return v->toString();
}

double Decoder::number(const QString& key)
{
    auto v = required(key);
    if (!v) return 0;
    if (!v->isDouble()) { m_ok = false; return 0; }
    return v->toDouble();
}

qint64 Decoder::integer(const QString& key)
{
    auto v = required(key);
    if (!v) return 0;
    if (!isInteger(*v)) { m_ok = false; return 0; }
    return qint64(v->toDouble());
}

bool Decoder::boolean(const QString& key)
{
    auto v = required(key);
    if (!v) return false;
    if (!v->isBool()) { m_ok = false; return false; }
    return v->toBool();
}

QDateTime Decoder::date(const QString& key)
{
    const double s = number(key);
    if (!m_ok) return {};
    // A date no file of ours can hold is as good as missing, and this one is required.
    const std::optional<QDateTime> d = Dates::fromStoredSeconds(s);
    if (!d) m_ok = false;
    return d.value_or(QDateTime());
}

QUuid Decoder::uuid(const QString& key)
{
    const QString s = string(key);
    if (!m_ok) return {};
    QUuid id = Uuids::parse(s);
    if (id.isNull()) m_ok = false;
    return id;
}

QJsonArray Decoder::array(const QString& key)
{
    auto v = required(key);
    if (!v) return {};
    if (!v->isArray()) { m_ok = false; return {}; }
    return v->toArray();
}

QJsonObject Decoder::object(const QString& key)
{
    auto v = required(key);
    if (!v) return {};
    if (!v->isObject()) { m_ok = false; return {}; }
    return v->toObject();
}

std::optional<QString> Decoder::optString(const QString& key)
{
    auto v = optional(key);
    if (!v) return std::nullopt;
    if (!v->isString()) { m_ok = false; return std::nullopt; }
    return v->toString();
}

std::optional<double> Decoder::optNumber(const QString& key)
{
    auto v = optional(key);
    if (!v) return std::nullopt;
    if (!v->isDouble()) { m_ok = false; return std::nullopt; }
    return v->toDouble();
}

std::optional<qint64> Decoder::optInteger(const QString& key)
{
    auto v = optional(key);
    if (!v) return std::nullopt;
    if (!isInteger(*v)) { m_ok = false; return std::nullopt; }
    return qint64(v->toDouble());
}

std::optional<bool> Decoder::optBoolean(const QString& key)
{
    auto v = optional(key);
    if (!v) return std::nullopt;
    if (!v->isBool()) { m_ok = false; return std::nullopt; }
    return v->toBool();
}

std::optional<QDateTime> Decoder::optDate(const QString& key)
{
    auto n = optNumber(key);
    if (!n) return std::nullopt;
    // A date no file of ours can hold is treated as missing.
    return Dates::fromStoredSeconds(*n);
}

std::optional<QJsonDocument> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) return std::nullopt;
    return doc;
}

namespace {

// A rename is durable only once the folder holding it is on disk.
void syncFolderOf(const QString& path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// "<name>.json.tmp", or "<name>.json." and the six letters and digits a save's temporary adds.
bool isTemporarySibling(const char* name)
{
    const size_t n = std::strlen(name);
    if (n > 9 && std::strcmp(name + n - 9, ".json.tmp") == 0) return true;
    if (n < 13 || std::strncmp(name + n - 12, ".json.", 6) != 0) return false;
    for (size_t i = n - 6; i < n; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

}  // namespace

Status writeFileAtomically(const QString& path, const QByteArray& bytes, bool privateMode)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) return Status::failure(QStringLiteral("Cannot create folder ") + info.absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Status::failure(file.errorString());
    if (privateMode) file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return Status::failure(file.errorString());
    }
    if (!file.commit()) return Status::failure(file.errorString());  // the commit syncs the file first
    syncFolderOf(path);
    return Status::success();
}

Status writeFileAtomically(const QString& path, const QJsonDocument& document, bool privateMode)
{
    return writeFileAtomically(path, document.toJson(QJsonDocument::Compact), privateMode);
}

Status writeViaTmpSibling(const QString& path, const QJsonDocument& document)
{
    return writeViaTmpSibling(path, document.toJson(QJsonDocument::Compact));
}

Status writeViaTmpSibling(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) return Status::failure(QStringLiteral("Cannot create folder ") + info.absolutePath());
    const QString tmp = path + QStringLiteral(".tmp");
    {
        QFile file(tmp);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return Status::failure(file.errorString());
        if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
            file.close();
            QFile::remove(tmp);
            return Status::failure(file.errorString());
        }
        file.close();
    }
    // rename(2) replaces the target in one step, so readers see the old file or the new one.
    if (std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(tmp);
        return Status::failure(QStringLiteral("Cannot replace ") + path);
    }
    syncFolderOf(path);
    return Status::success();
}

int removeTemporarySiblings(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        if (!isTemporarySibling(entry->d_name)) continue;
        struct stat st;
        if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            unlinkat(fd, entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    closedir(dir);
    return removed;
}

QJsonValue dateValue(const QDateTime& time) { return Dates::toReferenceSeconds(time); }

}  // namespace Json
