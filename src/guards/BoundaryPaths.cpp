#include "guards/BoundaryPaths.h"

#include "core/AppSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>
#include <pwd.h>

namespace BoundaryPaths {

QStringList defaults(const QString& home)
{
    return {home + QStringLiteral("/.ssh"), home + QStringLiteral("/.aws"),
            home + QStringLiteral("/Documents/Claude_Memory/Private")};
}

QString normalize(const QString& path, const QString& home)
{
    QString text = path.trimmed();
    if (text.startsWith(QLatin1Char('~'))) {
        const qsizetype slash = text.indexOf(QLatin1Char('/'));
        const QString user = text.mid(1, slash < 0 ? -1 : slash - 1);
        const QString rest = slash < 0 ? QString() : text.mid(slash);
        if (user.isEmpty()) {
            text = home + rest;
        } else if (const passwd* entry = ::getpwnam(user.toLocal8Bit().constData()); entry && entry->pw_dir) {
            text = QString::fromLocal8Bit(entry->pw_dir) + rest;
        }
    }
    while (text.size() > 1 && text.endsWith(QLatin1Char('/'))) text.chop(1);
    return text;
}

QStringList load(const AppSettings& settings, const QString& home)
{
    const QByteArray data = settings.aiShieldBoundaryPathsData();
    if (data.isEmpty()) return defaults(home);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().isEmpty()) return defaults(home);
    QStringList paths;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString()) return defaults(home);
        paths.append(normalize(v.toString(), home));
    }
    return paths;
}

void save(AppSettings& settings, const QStringList& paths, const QString& home)
{
    // Texts that differ only in how an accent is composed are one text.
    QStringList kept;
    QSet<QString> composed;
    for (const QString& path : paths) {
        const QString normalized = normalize(path, home);
        if (normalized.isEmpty()) continue;
        const QString key = normalized.normalized(QString::NormalizationForm_C);
        if (composed.contains(key)) continue;
        composed.insert(key);
        kept.append(normalized);
    }
    std::sort(kept.begin(), kept.end(), [](const QString& a, const QString& b) {
        return a.normalized(QString::NormalizationForm_C).toUcs4() < b.normalized(QString::NormalizationForm_C).toUcs4();
    });
    settings.setAiShieldBoundaryPathsData(QJsonDocument(QJsonArray::fromStringList(kept)).toJson(QJsonDocument::Compact));
}

void add(AppSettings& settings, const QString& path, const QString& home)
{
    const QString p = normalize(path, home);
    if (p.isEmpty()) return;
    QStringList paths = load(settings, home);
    if (paths.contains(p)) return;
    paths.append(p);
    save(settings, paths, home);
}

void remove(AppSettings& settings, const QString& path, const QString& home)
{
    const QString p = normalize(path, home);
    QStringList paths = load(settings, home);
    paths.removeAll(p);
    save(settings, paths, home);
}

}  // namespace BoundaryPaths
