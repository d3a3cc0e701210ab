#pragma once

#include <QString>

// What the connected services tell about the machine besides its load.
struct HostFacts {
    QString hostName;                // "unknown" when it has none
    QString osVersion;               // the system's own wording, e.g. "Debian GNU/Linux 12 (bookworm)"
    QString cpuBrand;                // "unknown" when it cannot be read
    quint64 physicalMemoryBytes = 0;
};

class HostFactsSource {
public:
    virtual ~HostFactsSource() = default;
    virtual HostFacts read() const = 0;
};
