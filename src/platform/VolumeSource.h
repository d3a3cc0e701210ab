#pragma once

#include <cstdint>
#include <optional>

// Size and free space of a file system.
struct VolumeSpace {
    uint64_t totalBytes = 0;
    uint64_t availableBytes = 0;  // free space an ordinary user can still write
    uint64_t device = 0;          // tells two file systems apart
};

class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    virtual std::optional<VolumeSpace> readVolume() = 0;
};
