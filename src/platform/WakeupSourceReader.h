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
    // What people call the device behind a source named after a bus address (a PCI function
    // such as "0000:00:14.0", a USB device such as "1-4"); empty for any other source. May read
    // large files: worker threads only.
    virtual QString deviceName(const QString& sourceName) const
    {
        Q_UNUSED(sourceName);
        return QString();
    }
};
