#pragma once

#include "platform/WakeupSourceReader.h"

#include <QString>
#include <QStringList>

// /sys/class/wakeup/*/{name,event_count}. An entry missing either file, or with a count that
// is not a plain number, is left out.
//
// Devices are named from /sys/bus: a USB device by its own manufacturer and product strings,
// else its ids; a PCI function by its vendor and device ids looked up in the first readable
// pci.ids database, else the ids themselves; a device whose ids cannot be read by its bus and
// address. USB root hubs ("usb1") are the controller, not a device: no name.
class SysfsWakeupSourceReader final : public WakeupSourceReader {
public:
    static QStringList defaultPciIdsPaths();

    explicit SysfsWakeupSourceReader(QString root = QStringLiteral("/sys/class/wakeup"),
                                     QString busRoot = QStringLiteral("/sys/bus"),
                                     QStringList pciIdsPaths = defaultPciIdsPaths());
    QList<WakeupSource> wakeupSources() const override;
    QString deviceName(const QString& sourceName) const override;

    // The vendor's and the device's names in a pci.ids database text ("vvvv", "dddd" in lower
    // case hex); either empty when not listed.
    static std::pair<QString, QString> lookUpPciIds(QByteArrayView database, QByteArrayView vendor, QByteArrayView device);

private:
    QString pciName(const QString& address) const;
    QString usbName(const QString& address) const;

    QString m_root;
    QString m_busRoot;
    QStringList m_pciIdsPaths;
};
