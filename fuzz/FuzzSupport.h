#pragma once

// Shared by the harnesses: a private home for the stored-file parsers, and trees of files built
// from one input for the /sys readers.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Points HOME and XDG_* at a private folder (once) and makes the application object the
// readers expect; returns the folder.
inline const QString& privateHome()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/veltranmoor-fuzz-XXXXXX"));
    static const QString path = [] {
        const QByteArray root = QFile::encodeName(dir.path());
        qputenv("HOME", root);
        qputenv("XDG_CONFIG_HOME", root + "/.config");
        qputenv("XDG_DATA_HOME", root + "/.local/share");
        qputenv("XDG_CACHE_HOME", root + "/.cache");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        return dir.path();
    }();
    return path;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A component of a tree path: letters, digits, "_", "-" and "." (not "." or ".." alone).
inline bool isPlainPath(const QByteArray& path)
{
    const QList<QByteArray> parts = path.split('/');
    if (parts.size() > 4) return false;
    for (const QByteArray& part : parts) {
        if (part.isEmpty() || part == "." || part == ".." || part.size() > 64) return false;
        for (char c : part) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                            c == '-' || c == '.';
            if (!ok) return false;
        }
    }
    return true;
}

// The input is "path\0content\0path\0content..."; the files are written below a fresh folder,
// whose path is returned (the seeds are fixture trees in that form).
inline QString buildTree(const uint8_t* data, size_t size)
{
    const QString root = privateHome() + QStringLiteral("/tree");
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    const QList<QByteArray> fields = bytes(data, size).split('\0');
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        if (!isPlainPath(fields[i])) continue;
        writeFile(root + QLatin1Char('/') + QString::fromLatin1(fields[i]), fields[i + 1]);
    }
    return root;
}

}  // namespace fuzz
