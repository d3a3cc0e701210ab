#include "platform/linux/StatvfsVolumeSource.h"

#include <QFile>
#include <sys/statvfs.h>

StatvfsVolumeSource::StatvfsVolumeSource(const QString& path) : m_path(QFile::encodeName(path)) {}

std::optional<VolumeSpace> StatvfsVolumeSource::readVolume()
{
    struct statvfs st {};
    if (::statvfs(m_path.constData(), &st) != 0) return std::nullopt;
    VolumeSpace space;
    space.totalBytes = uint64_t(st.f_blocks) * uint64_t(st.f_frsize);
    space.availableBytes = std::min(uint64_t(st.f_bavail) * uint64_t(st.f_frsize), space.totalBytes);
    return space;
}
