#pragma once

#include <cstdint>

struct InterfaceByteCounters {
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
    int interfaces = 0;  // how many interfaces were counted
};

// Summed byte counters of the machine's physical and bridge interfaces (loopback, tunnels and
// container peers excluded).
class NetStatsReader {
public:
    virtual ~NetStatsReader() = default;
    // Any thread; both sums 0 when nothing can be read.
    virtual InterfaceByteCounters readInterfaceCounters() const = 0;
};
