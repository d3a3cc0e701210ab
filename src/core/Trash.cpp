#include "core/Trash.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Trash {

Result<QString> move(const QString& path)
{
    const QString trash = Paths::trashDir();
    for (const char* sub : {"/files", "/info"}) {
        const QString dir = trash + QLatin1String(sub);
        if (!QDir().mkpath(dir)) return Result<QString>::failure(QStringLiteral("Cannot create the Trash folder ") + dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QFile::setPermissions(trash, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QString where;
    if (!QFile::moveToTrash(path, &where)) {
        return Result<QString>::failure(QStringLiteral("Could not move ") + QFileInfo(path).fileName() +
                                        QStringLiteral(" to the Trash"));
    }
    const bool inTrash = QDir::isAbsolutePath(where) &&
                         (where.contains(QStringLiteral("/Trash/files/")) || where.contains(QStringLiteral("/.Trash-")));
    if (!inTrash) {
        return Result<QString>::failure(QStringLiteral("The Trash answered with an unexpected place: ") + where);
    }
    return Result<QString>::success(where);
}

}  // namespace Trash
