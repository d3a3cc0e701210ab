#pragma once

#include <cstdint>

// Established TCP connections, IPv4 and IPv6 together.
class TcpTableReader {
public:
    virtual ~TcpTableReader() = default;
    // From the kernel's connection tables; 0 when they cannot be read. Any thread.
    virtual int64_t countEstablishedTCP() const = 0;
    // From the system's socket tool; 0 when it cannot run or misses its deadline. Blocks at
    // most the deadline: call it off the main thread.
    virtual int64_t readEstablishedConnections() const = 0;
};
