#include "core/Paths.h"

#include <QDir>

namespace {

QString fromEnv(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return fallback;
}

}  // namespace

namespace Paths {

QString home()
{
    const QString h = qEnvironmentVariable("HOME");
    return h.isEmpty() ? QDir::homePath() : QDir::cleanPath(h);
}

QString configHome() { return fromEnv("XDG_CONFIG_HOME", home() + QStringLiteral("/.config")); }
QString dataHome() { return fromEnv("XDG_DATA_HOME", home() + QStringLiteral("/.local/share")); }
QString cacheHome() { return fromEnv("XDG_CACHE_HOME", home() + QStringLiteral("/.cache")); }
QString stateHome() { return fromEnv("XDG_STATE_HOME", home() + QStringLiteral("/.local/state")); }

QString configDir() { return configHome() + QStringLiteral("/Veltranmoor"); }
QString appSupportDir() { return dataHome() + QStringLiteral("/Veltranmoor"); }
QString aiDir() { return appSupportDir() + QStringLiteral("/AI"); }
QString cacheDir() { return cacheHome() + QStringLiteral("/Veltranmoor"); }
QString trashDir() { return dataHome() + QStringLiteral("/Trash"); }

}  // namespace Paths
