#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Points HOME and the XDG folders at `home`, so no test touches the user's real files.
inline bool usePrivateHome(const QTemporaryDir& home)
{
    if (!home.isValid()) return false;
    const QByteArray root = QFile::encodeName(home.path());
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_CACHE_HOME", root + "/.cache");
    return true;
}
