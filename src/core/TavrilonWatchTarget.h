#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// One folder the watchers keep tidy. Stored as JSON text in the settings store.
struct TavrilonWatchTarget {
    QUuid id;
    QUrl path;  // file URL of the folder
    QDateTime createdAt;
    std::optional<QDateTime> lastMaintainedAt;
    std::optional<QString> lastOutcome;
    qint64 intervalHours = 24;
    bool enabled = true;

    friend bool operator==(const TavrilonWatchTarget&, const TavrilonWatchTarget&) = default;

    QJsonObject toJson() const;
    static std::optional<TavrilonWatchTarget> fromJson(const QJsonObject& object);

    // The whole list as compact JSON text, and back; text that is not such a list gives nullopt.
    static QString encodeList(const QList<TavrilonWatchTarget>& targets);
    static std::optional<QList<TavrilonWatchTarget>> decodeList(const QString& text);
};
