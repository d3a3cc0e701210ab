#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// A source that can wake the machine from sleep, with how often it has fired since boot.
struct WakeupSource {
    QString name;
    uint64_t eventCount = 0;

    friend bool operator==(const WakeupSource&, const WakeupSource&) = default;
};

class WakeupSourceReader {
public:
    virtual ~WakeupSourceReader() = default;
    // Every readable source, in a fixed order; empty when the class cannot be listed.
    virtual QList<WakeupSource> wakeupSources() const = 0;
};
