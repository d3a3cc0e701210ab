#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// One-attribute-per-file reads as sysfs and procfs serve them. Every file is untrusted: a file
// that is missing, empty, unreadable or not what it should be reads as none.
namespace SysfsValue {

// The whole file (at most maxBytes), one open/read/close.
std::optional<QByteArray> readFile(const QString& path, qsizetype maxBytes = 4096);
// The file's text with surrounding white space removed; none when empty.
std::optional<QString> readText(const QString& path);
// A decimal integer filling the whole (trimmed) file, such as "45000\n".
std::optional<int64_t> readInt(const QString& path);
std::optional<uint64_t> readUnsigned(const QString& path);
// Strict parse of a trimmed decimal number.
std::optional<int64_t> parseInt(QByteArrayView text);
std::optional<uint64_t> parseUnsigned(QByteArrayView text);

// Entries of a directory (symlinks included, as the class directories hold symlinks), sorted
// so that "hwmon10" comes after "hwmon9".
QStringList entries(const QString& dir);

}  // namespace SysfsValue
