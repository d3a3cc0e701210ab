#pragma once

#include <cstdint>

// Established TCP connections, IPv4 and IPv6 together.
class TcpTableReader {
public:
    virtual ~TcpTableReader() = default;
    // From the kernel's connection tables; -1 when none of them can be read (0 is a real answer:
    // no connection is established). Any thread.
    virtual int64_t countEstablishedTCP() const = 0;
    // From the system's socket tool; 0 when it cannot run or misses its deadline. Blocks at
    // most the deadline: call it off the main thread.
    virtual int64_t readEstablishedConnections() const = 0;
};
