#pragma once

#include "core/Result.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <optional>

namespace Json {

// Strict field reader for one JSON object. A missing required field or a value of the wrong
// type marks the decoder failed; optional fields accept absence and null.
class Decoder {
public:
    explicit Decoder(const QJsonObject& object) : m_object(object) {}

    QString string(const QString& key);
    double number(const QString& key);
    qint64 integer(const QString& key);  // a JSON number without fraction
    bool boolean(const QString& key);
    QDateTime date(const QString& key);  // seconds since 2001-01-01 UTC
    QUuid uuid(const QString& key);      // hyphenated text
    QJsonArray array(const QString& key);
    QJsonObject object(const QString& key);

    std::optional<QString> optString(const QString& key);
    std::optional<double> optNumber(const QString& key);
    std::optional<qint64> optInteger(const QString& key);
    std::optional<bool> optBoolean(const QString& key);
    std::optional<QDateTime> optDate(const QString& key);

    bool ok() const { return m_ok; }
    void fail() { m_ok = false; }

private:
    std::optional<QJsonValue> required(const QString& key);
    std::optional<QJsonValue> optional(const QString& key);

    QJsonObject m_object;
    bool m_ok = true;
};

bool isInteger(const QJsonValue& value);

// Reads and parses a whole file; nullopt when it is missing, unreadable or not JSON.
std::optional<QJsonDocument> readFile(const QString& path);

// Writes through a temporary file and a rename (QSaveFile), creating the parent folder.
// A crash leaves either the old file or the new one, never a torn one.
Status writeFileAtomically(const QString& path, const QByteArray& bytes, bool privateMode = false);
Status writeFileAtomically(const QString& path, const QJsonDocument& document, bool privateMode = false);

// Learned-state files: written to "<file>.tmp" first, then moved over the existing file.
// Both writers sync the file before the rename and the folder after it.
Status writeViaTmpSibling(const QString& path, const QJsonDocument& document);

// Start-up: removes what a stop mid-save left in `folder` ("<name>.json.tmp" and a save's
// "<name>.json.XXXXXX", which may hold a copy of the settings with the API key). Returns how many.
int removeTemporarySiblings(const QString& folder);

QJsonValue dateValue(const QDateTime& time);

}  // namespace Json
