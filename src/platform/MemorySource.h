#pragma once

#include <cstdint>
#include <optional>

struct MemoryStats {
    uint64_t totalBytes = 0;
    uint64_t availableBytes = 0;  // what can be had without swapping
};

class MemorySource {
public:
    virtual ~MemorySource() = default;
    virtual std::optional<MemoryStats> readMemory() = 0;
};
