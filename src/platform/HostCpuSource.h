#pragma once

#include <cstdint>
#include <optional>

// Cumulative host CPU time in clock ticks since boot, in the four buckets the load figure uses.
struct CpuTicks {
    uint64_t user = 0;
    uint64_t system = 0;
    uint64_t idle = 0;
    uint64_t nice = 0;
};

class HostCpuSource {
public:
    virtual ~HostCpuSource() = default;
    // nullopt when the counters cannot be read.
    virtual std::optional<CpuTicks> readTicks() = 0;
};
