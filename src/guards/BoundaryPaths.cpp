#include "guards/BoundaryPaths.h"

#include "core/AppSettings.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace BoundaryPaths {

QStringList defaults(const QString& home)
{
    return {home + QStringLiteral("/.ssh"), home + QStringLiteral("/.aws"),
            home + QStringLiteral("/Documents/Claude_Memory/Private")};
}

QString normalize(const QString& path, const QString& home)
{
    QString p = path.trimmed();
    if (p.startsWith(QLatin1Char('~'))) p = home + p.mid(1);
    while (p.size() >= 2 && p.endsWith(QLatin1Char('/'))) p.chop(1);
    return p;
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
    QStringList kept;
    for (const QString& path : paths) {
        const QString p = normalize(path, home);
        if (!p.isEmpty() && !kept.contains(p)) kept.append(p);
    }
    kept.sort();
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
