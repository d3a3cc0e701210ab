#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// One row of the process table. Kept free of heap data so that a sample of a few thousand
// processes allocates nothing once the vector has grown.
struct ProcessEntry {
    static constexpr int maxCommLength = 63;

    int32_t pid = 0;
    int32_t parentPid = 0;
    uint64_t startTime = 0;      // clock ticks after boot; tells a reused pid apart
    uint64_t cpuTimeNs = 0;      // user + system time
    // When cpuTimeNs was read (steady clock, ns); 0 when the table does not say, in which case
    // every entry counts as read at the time of the reading.
    uint64_t readAtNs = 0;
    uint64_t residentBytes = 0;
    int8_t nice = 0;              // -20 .. 19; 19 cannot be lowered further
    bool isKernelThread = false;  // PF_KTHREAD, or a child of kthreadd with no command line
    uint8_t commLength = 0;
    char comm[maxCommLength + 1] = {};
};

// The processes of the machine. Called from one thread at a time (the sampler's).
class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // Replaces `out` with every readable process; processes that vanish or cannot be read
    // are left out. False when the table itself cannot be listed.
    virtual bool readProcesses(std::vector<ProcessEntry>& out) = 0;
    // The name to show for a row: the kernel's short name, or the longer program name when
    // the short one was cut.
    virtual QString displayName(const ProcessEntry& entry) = 0;
};
