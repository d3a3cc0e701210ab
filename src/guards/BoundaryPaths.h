#pragma once

#include <QString>
#include <QStringList>

class AppSettings;

// AI Shield's boundary paths, kept as a JSON array of strings in "aiShieldBoundaryPathsData".
namespace BoundaryPaths {

// The home folder's .ssh, .aws and Documents/Claude_Memory/Private, in that order.
QStringList defaults(const QString& home);
// Trimmed, a leading "~" expanded to `home` and "~user" to that user's home, trailing slashes
// removed (a lone "/" stays).
QString normalize(const QString& path, const QString& home);
// Never empty: absent, empty, unreadable or empty-array data gives the defaults; otherwise
// every stored entry normalised, in stored order.
QStringList load(const AppSettings& settings, const QString& home);
// Normalised, without empty entries or duplicates (texts equal once accents are composed count
// as one), sorted by their composed form, stored as JSON.
void save(AppSettings& settings, const QStringList& paths, const QString& home);
void add(AppSettings& settings, const QString& path, const QString& home);
void remove(AppSettings& settings, const QString& path, const QString& home);

}  // namespace BoundaryPaths
