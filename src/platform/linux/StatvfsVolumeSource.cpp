#include "platform/linux/StatvfsVolumeSource.h"

#include <QFile>
#include <sys/stat.h>
#include <sys/statvfs.h>

StatvfsVolumeSource::StatvfsVolumeSource(const QString& path) : m_path(QFile::encodeName(path)) {}

std::optional<VolumeSpace> StatvfsVolumeSource::readVolume()
{
    struct statvfs st {};
    if (::statvfs(m_path.constData(), &st) != 0) return std::nullopt;
    struct stat where {};
    if (::stat(m_path.constData(), &where) != 0) return std::nullopt;
    VolumeSpace space;
    space.device = uint64_t(where.st_dev);
    space.totalBytes = uint64_t(st.f_blocks) * uint64_t(st.f_frsize);
    space.availableBytes = std::min(uint64_t(st.f_bavail) * uint64_t(st.f_frsize), space.totalBytes);
    return space;
}
