#include "platform/linux/SysfsWakeupSourceReader.h"

#include "platform/linux/SysfsValue.h"

#include <QFile>
#include <QRegularExpression>

namespace {

// "0x8086" as sysfs gives it to "8086"; none unless four hex digits.
std::optional<QByteArray> hexId(const QString& path)
{
    const std::optional<QString> text = SysfsValue::readText(path);
    if (!text) return std::nullopt;
    QString id = text->toLower();
    if (id.startsWith(QLatin1String("0x"))) id = id.mid(2);
    static const QRegularExpression fourHex(QStringLiteral("^[0-9a-f]{4}$"));
    if (!fourHex.match(id).hasMatch()) return std::nullopt;
    return id.toLatin1();
}

// A device string as the device reports it: printable, one line, bounded.
QString cleanString(const std::optional<QString>& text)
{
    if (!text) return QString();
    QString out;
    for (QChar c : *text) {
        if (c.isPrint()) out += c;
    }
    return out.simplified().left(80);
}

}  // namespace

QStringList SysfsWakeupSourceReader::defaultPciIdsPaths()
{
    return {QStringLiteral("/usr/share/hwdata/pci.ids"), QStringLiteral("/usr/share/misc/pci.ids"),
            QStringLiteral("/usr/share/pci.ids")};
}

SysfsWakeupSourceReader::SysfsWakeupSourceReader(QString root, QString busRoot, QStringList pciIdsPaths)
    : m_root(std::move(root)), m_busRoot(std::move(busRoot)), m_pciIdsPaths(std::move(pciIdsPaths))
{
}

QList<WakeupSource> SysfsWakeupSourceReader::wakeupSources() const
{
    QList<WakeupSource> sources;
    for (const QString& entry : SysfsValue::entries(m_root)) {
        const QString dir = m_root + QLatin1Char('/') + entry;
        const std::optional<QString> name = SysfsValue::readText(dir + QStringLiteral("/name"));
        const std::optional<uint64_t> count = SysfsValue::readUnsigned(dir + QStringLiteral("/event_count"));
        if (!name || !count) continue;
        sources.append(WakeupSource{*name, *count});
    }
    return sources;
}

QString SysfsWakeupSourceReader::deviceName(const QString& sourceName) const
{
    static const QRegularExpression pci(QStringLiteral("^[0-9a-fA-F]{4}:[0-9a-fA-F]{2}:[0-9a-fA-F]{2}\\.[0-7]$"));
    static const QRegularExpression usb(QStringLiteral("^[0-9]+-[0-9]+(\\.[0-9]+)*$"));
    if (pci.match(sourceName).hasMatch()) return pciName(sourceName);
    if (usb.match(sourceName).hasMatch()) return usbName(sourceName);
    return QString();
}

QString SysfsWakeupSourceReader::pciName(const QString& address) const
{
    const QString dir = m_busRoot + QStringLiteral("/pci/devices/") + address;
    const std::optional<QByteArray> vendor = hexId(dir + QStringLiteral("/vendor"));
    const std::optional<QByteArray> device = hexId(dir + QStringLiteral("/device"));
    if (!vendor || !device) return QStringLiteral("PCI device ") + address;
    for (const QString& path : m_pciIdsPaths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray database = file.readAll();
        const auto [vendorName, deviceName] = lookUpPciIds(database, *vendor, *device);
        if (!deviceName.isEmpty()) return deviceName;
        if (!vendorName.isEmpty()) return vendorName + QStringLiteral(" device ") + QString::fromLatin1(*device);
        break;
    }
    return QStringLiteral("PCI device ") + QString::fromLatin1(*vendor) + QLatin1Char(':') + QString::fromLatin1(*device);
}

QString SysfsWakeupSourceReader::usbName(const QString& address) const
{
    const QString dir = m_busRoot + QStringLiteral("/usb/devices/") + address;
    const QString product = cleanString(SysfsValue::readText(dir + QStringLiteral("/product")));
    const QString manufacturer = cleanString(SysfsValue::readText(dir + QStringLiteral("/manufacturer")));
    if (!product.isEmpty()) {
        if (manufacturer.isEmpty() || product.startsWith(manufacturer, Qt::CaseInsensitive)) return product;
        return manufacturer + QLatin1Char(' ') + product;
    }
    const std::optional<QByteArray> vendor = hexId(dir + QStringLiteral("/idVendor"));
    const std::optional<QByteArray> id = hexId(dir + QStringLiteral("/idProduct"));
    if (vendor && id) {
        const QString ids = QString::fromLatin1(*vendor) + QLatin1Char(':') + QString::fromLatin1(*id);
        return manufacturer.isEmpty() ? QStringLiteral("USB device ") + ids : manufacturer + QStringLiteral(" device ") + ids;
    }
    return QStringLiteral("USB device ") + address;
}

std::pair<QString, QString> SysfsWakeupSourceReader::lookUpPciIds(QByteArrayView database, QByteArrayView vendor,
                                                                  QByteArrayView device)
{
    // Vendors start a line with four hex digits and two spaces; their devices follow, one tab
    // in; subsystems two tabs in. The class list at the end starts with "C ".
    QString vendorName;
    bool inVendor = false;
    qsizetype start = 0;
    while (start < database.size()) {
        qsizetype end = database.indexOf('\n', start);
        if (end < 0) end = database.size();
        const QByteArrayView line = database.sliced(start, end - start);
        start = end + 1;
        if (line.isEmpty() || line.front() == '#') continue;
        if (line.front() != '\t') {
            if (inVendor) break;  // the next vendor: the device is not listed
            if (line.size() > 6 && line.first(4).compare(vendor, Qt::CaseInsensitive) == 0 && line.sliced(4, 2) == "  ") {
                vendorName = QString::fromUtf8(line.sliced(6)).trimmed();
                inVendor = true;
            }
            continue;
        }
        if (!inVendor || line.size() < 8 || line[1] == '\t') continue;
        if (line.sliced(1, 4).compare(device, Qt::CaseInsensitive) == 0 && line.sliced(5, 2) == "  ") {
            return {vendorName, QString::fromUtf8(line.sliced(7)).trimmed()};
        }
    }
    return {vendorName, QString()};
}
