#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

// Typed values in one JSON document ($XDG_CONFIG_HOME/Veltranmoor/settings.json, mode 0600),
// written atomically after every change. Readers get nullopt for an absent key or a value of
// another type, so callers fall back to their default. Safe to use from any thread; changed()
// is emitted on the setter's thread.
//
// The file is written on a background writer, never by the setter: changes that come faster
// than the disk take them are folded into one write of the newest values, so the last value
// always lands. A failed write goes to WriteFailureReporter. Destruction waits for what is
// still on its way to the disk, so quitting right after a change keeps it.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    explicit UserDefaults(QString filePath, QObject* parent = nullptr);
    ~UserDefaults() override;

    // Waits until every change made so far is on disk (or its write has failed).
    void flush() const;

    static QString defaultPath();
    const QString& filePath() const { return m_path; }

    bool contains(const QString& key) const;
    std::optional<bool> getBool(const QString& key) const;
    std::optional<double> getDouble(const QString& key) const;
    std::optional<qint64> getInt(const QString& key) const;
    std::optional<QString> getString(const QString& key) const;
    std::optional<QByteArray> getData(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setDouble(const QString& key, double value);
    void setInt(const QString& key, qint64 value);
    void setString(const QString& key, const QString& value);
    void setData(const QString& key, const QByteArray& value);
    void remove(const QString& key);

    // Every stored entry as kept in the file (raw bytes as {"$data": "<base64>"}).
    QJsonObject entries() const;
    // Removes every key outside `keep` with one write, then announces each removed key.
    void removeAllExcept(const QSet<QString>& keep);

    // From now on an edit of the file by another program (an editor, a script) is loaded and
    // announced key by key, as if set here. Call on the thread that owns this object.
    void watchForExternalChanges();

Q_SIGNALS:
    void changed(const QString& key);

private:
    void store(const QString& key, const QJsonValue& value);
    QJsonValue raw(const QString& key) const;
    void load();
    void save();  // with m_mutex held: hands the current values to the writer
    void reloadIfChangedOutside();

    struct Writer;
    std::shared_ptr<Writer> m_writer;

    QString m_path;
    mutable QMutex m_mutex;
    QJsonObject m_values;
    QFileSystemWatcher* m_watcher = nullptr;
};
