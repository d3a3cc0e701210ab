#include "core/UserDefaults.h"

#include "core/Json.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/SerialQueue.h"
#include "core/WriteFailureReporter.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {
// Raw bytes are kept as {"$data": "<base64>"} so they never read back as text.
const QString kDataTag = QStringLiteral("$data");

// One writer thread for every settings file of the process, so writes land in the order they
// were asked for. It lives as long as the process: a store being destroyed waits for its own
// writes instead.
SerialQueue& writeQueue()
{
    static SerialQueue* queue = new SerialQueue(QStringLiteral("app.veltranmoor.settings-writer"));
    return *queue;
}

// Writes queued and not yet finished, over every store.
std::atomic<int> g_outstanding{0};
}  // namespace

// What the write queue shares with one store: the newest values to write and how far the
// disk has caught up. Outlives the store while a write is queued.
struct UserDefaults::Writer : std::enable_shared_from_this<UserDefaults::Writer> {
    QString path;
    std::mutex mutex;
    std::condition_variable landed;
    QJsonObject pending;
    quint64 queued = 0;   // generation of `pending`
    quint64 written = 0;  // newest generation whose write has finished
    bool scheduled = false;

    bool idle() const { return written >= queued; }
    void enqueue(const QJsonObject& values);
    void writeNewest();
};

void UserDefaults::Writer::enqueue(const QJsonObject& values)
{
    std::lock_guard lock(mutex);
    pending = values;
    ++queued;
    if (scheduled) return;  // the queued write picks these values up
    scheduled = true;
    ++g_outstanding;
    writeQueue().async([self = shared_from_this()] { self->writeNewest(); });
}

void UserDefaults::Writer::writeNewest()
{
    QJsonObject values;
    quint64 generation = 0;
    {
        std::lock_guard lock(mutex);
        values = pending;
        generation = queued;
        // A change from now on queues the next write, which runs after this one.
        scheduled = false;
    }
    WriteFailureReporter::check(path, Json::writeFileAtomically(path, QJsonDocument(values), true));
    {
        std::lock_guard lock(mutex);
        written = generation;
    }
    --g_outstanding;
    landed.notify_all();
}

UserDefaults::UserDefaults(QString filePath, QObject* parent)
    : QObject(parent), m_writer(std::make_shared<Writer>()), m_path(std::move(filePath))
{
    m_writer->path = m_path;
    load();
}

UserDefaults::~UserDefaults() { flush(); }

void UserDefaults::flush() const
{
    std::unique_lock lock(m_writer->mutex);
    m_writer->landed.wait(lock, [this] { return m_writer->idle(); });
}

QString UserDefaults::defaultPath() { return Paths::configDir() + QStringLiteral("/settings.json"); }

void UserDefaults::load()
{
    // Another store of this process may still be writing the file: read what it wrote.
    if (g_outstanding.load() > 0) writeQueue().sync([] {});
    QFile file(m_path);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        Log::line(QStringLiteral("[Veltranmoor] Cannot read settings: ") + file.errorString());
        return;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    file.close();
    if (error.error == QJsonParseError::NoError && doc.isObject()) {
        m_values = doc.object();
        return;
    }
    // A damaged file is kept aside, never lost, and the store starts empty.
    const QString aside = m_path + QStringLiteral(".bad");
    QFile::remove(aside);
    QFile::rename(m_path, aside);
    Log::line(QStringLiteral("[Veltranmoor] Settings file was damaged; kept as ") + aside + QStringLiteral(", starting with defaults"));
}

void UserDefaults::save() { m_writer->enqueue(m_values); }

QJsonValue UserDefaults::raw(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.value(key);
}

bool UserDefaults::contains(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.contains(key);
}

std::optional<bool> UserDefaults::getBool(const QString& key) const
{
    const QJsonValue v = raw(key);
    if (!v.isBool()) return std::nullopt;
    return v.toBool();
}

std::optional<double> UserDefaults::getDouble(const QString& key) const
{
    const QJsonValue v = raw(key);
    if (!v.isDouble()) return std::nullopt;
    return v.toDouble();
}

std::optional<qint64> UserDefaults::getInt(const QString& key) const
{
    const QJsonValue v = raw(key);
    if (!Json::isInteger(v)) return std::nullopt;
    return qint64(v.toDouble());
}

std::optional<QString> UserDefaults::getString(const QString& key) const
{
    const QJsonValue v = raw(key);
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

std::optional<QByteArray> UserDefaults::getData(const QString& key) const
{
    const QJsonValue v = raw(key);
    if (!v.isObject()) return std::nullopt;
    const QJsonValue encoded = v.toObject().value(kDataTag);
    if (!encoded.isString()) return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(encoded.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return *decoded;
}

void UserDefaults::store(const QString& key, const QJsonValue& value)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_values.contains(key) && m_values.value(key) == value) return;
        if (value.isUndefined()) m_values.remove(key);
        else m_values.insert(key, value);
        save();
    }
    Q_EMIT changed(key);
}

void UserDefaults::setBool(const QString& key, bool value) { store(key, value); }
void UserDefaults::setDouble(const QString& key, double value) { store(key, value); }
void UserDefaults::setInt(const QString& key, qint64 value) { store(key, double(value)); }
void UserDefaults::setString(const QString& key, const QString& value) { store(key, value); }
void UserDefaults::setData(const QString& key, const QByteArray& value)
{
    store(key, QJsonObject{{kDataTag, QString::fromLatin1(value.toBase64())}});
}

void UserDefaults::remove(const QString& key)
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_values.contains(key)) return;
    }
    store(key, QJsonValue(QJsonValue::Undefined));
}

QJsonObject UserDefaults::entries() const
{
    QMutexLocker lock(&m_mutex);
    return m_values;
}

void UserDefaults::removeAllExcept(const QSet<QString>& keep)
{
    QStringList removed;
    {
        QMutexLocker lock(&m_mutex);
        for (const QString& key : m_values.keys()) {
            if (!keep.contains(key)) removed.append(key);
        }
        if (removed.isEmpty()) return;
        for (const QString& key : removed) m_values.remove(key);
        save();
    }
    for (const QString& key : removed) Q_EMIT changed(key);
}

void UserDefaults::watchForExternalChanges()
{
    if (m_watcher) return;
    m_watcher = new QFileSystemWatcher(this);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // The folder tells of a file replaced by rename (how this class and most editors save); the
    // file itself of one rewritten in place.
    m_watcher->addPath(QFileInfo(m_path).absolutePath());
    if (QFile::exists(m_path)) m_watcher->addPath(m_path);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &UserDefaults::reloadIfChangedOutside);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &UserDefaults::reloadIfChangedOutside);
}

void UserDefaults::reloadIfChangedOutside()
{
    // A replaced file is a new inode: watch that one.
    if (QFile::exists(m_path) && !m_watcher->files().contains(m_path)) m_watcher->addPath(m_path);
    {
        // Our own write is on its way and lands over whatever is there now; its notice
        // brings us back here once it has.
        std::lock_guard lock(m_writer->mutex);
        if (!m_writer->idle()) return;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) return;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    // Half written or damaged: the values in memory stay until a whole document arrives.
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return;
    const QJsonObject loaded = doc.object();
    QStringList differing;
    {
        QMutexLocker lock(&m_mutex);
        // Our own saves land here too and change nothing.
        if (loaded == m_values) return;
        QSet<QString> keys;
        for (const QString& key : m_values.keys()) keys.insert(key);
        for (const QString& key : loaded.keys()) keys.insert(key);
        for (const QString& key : keys) {
            if (m_values.value(key) != loaded.value(key)) differing.append(key);
        }
        m_values = loaded;
    }
    differing.sort();
    for (const QString& key : differing) Q_EMIT changed(key);
}
