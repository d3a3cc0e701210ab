#pragma once

#include "platform/VolumeSource.h"

#include <QByteArray>
#include <QString>

// statvfs of one mount point (the root file system in the application).
class StatvfsVolumeSource final : public VolumeSource {
public:
    explicit StatvfsVolumeSource(const QString& path = QStringLiteral("/"));
    std::optional<VolumeSpace> readVolume() override;

private:
    QByteArray m_path;
};
