#include "core/AppSettings.h"

#include "core/CFormat.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "core/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <mutex>

namespace {

const QString kMigrationKey = QStringLiteral("migration_4_2_1_autoCleanDownloads_optIn");

bool localePrefers24Hour(const QLocale& locale)
{
    // The locale's preferred hour format; a day-period marker ("AP"/"ap"/"a") means 12-hour.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.isEmpty()) return true;
    return !format.contains(QLatin1Char('a'), Qt::CaseInsensitive);
}

// "%.1f"-style formatting independent of the C locale.
QString fixed(double v, int decimals) { return cformat("%.*f", decimals, v); }

// Values read from the settings file are range-checked where they are read: a hand-edited or
// damaged number must not, say, make every download "older than -1 days".
template <typename T>
T withinRange(const char*, const T& value, const T&)
{
    return value;
}

qint64 withinRange(const char* key, const qint64& value, const qint64& fallback)
{
    static constexpr const char* dayCounts[] = {"downloadCleanupDays", "trashCleanupDays", "logCleanupDays"};
    constexpr qint64 minDays = 1, maxDays = 3650;
    const bool isDayCount = std::any_of(std::begin(dayCounts), std::end(dayCounts),
                                        [key](const char* k) { return std::strcmp(k, key) == 0; });
    if (!isDayCount || (value >= minDays && value <= maxDays)) return value;
    // Said once per value, not on every read.
    static std::mutex lock;
    static QSet<QString> said;
    const QString note = QStringLiteral("[Veltranmoor] %1 of %2 is outside %3-%4 days; using %5")
                             .arg(QLatin1String(key))
                             .arg(value)
                             .arg(minDays)
                             .arg(maxDays)
                             .arg(fallback);
    std::lock_guard guard(lock);
    if (!said.contains(note)) {
        said.insert(note);
        Log::line(note);
    }
    return fallback;
}

}  // namespace

AppSettings::AppSettings(UserDefaults& defaults, const Clock& clock, const QLocale& locale, QObject* parent)
    : QObject(parent),
      m_defaults(defaults),
      m_clock(clock),
      m_defaultFahrenheit(locale.measurementSystem() == QLocale::ImperialUSSystem),
      m_default24Hour(localePrefers24Hour(locale))
{
    connect(&m_defaults, &UserDefaults::changed, this, &AppSettings::changed, Qt::DirectConnection);
    migrate();
}

void AppSettings::migrate()
{
    if (!m_defaults.getBool(kMigrationKey).value_or(false)) {
        m_defaults.setBool(QStringLiteral("autoCleanDownloads"), false);
        m_defaults.setBool(kMigrationKey, true);
    }
    if (m_defaults.getBool(QStringLiteral("autoCleanTrash")).value_or(false)) {
        m_defaults.setBool(QStringLiteral("autoCleanTrash"), false);
    }
}

#define VELTRANMOOR_DEFINE_SETTING(Type, name, setter, key, kind, def)                                   \
    Type AppSettings::name() const                                                                      \
    {                                                                                                   \
        const Type fallback = def;                                                                      \
        return withinRange(key, m_defaults.get##kind(QStringLiteral(key)).value_or(fallback), fallback); \
    }                                                                                                   \
    void AppSettings::setter(const Type& value) { m_defaults.set##kind(QStringLiteral(key), value); }

VELTRANMOOR_SETTINGS(VELTRANMOOR_DEFINE_SETTING)
#undef VELTRANMOOR_DEFINE_SETTING

QString AppSettings::rawValue(DataRateUnit unit) { return unit == DataRateUnit::bits ? QStringLiteral("bits") : QStringLiteral("bytes"); }

std::optional<AppSettings::DataRateUnit> AppSettings::dataRateUnit(const QString& raw)
{
    if (raw == QLatin1String("bytes")) return DataRateUnit::bytes;
    if (raw == QLatin1String("bits")) return DataRateUnit::bits;
    return std::nullopt;
}

const QStringList& AppSettings::defaultProtectedProcesses()
{
    // Only names a Linux desktop runs: display servers and compositors, session managers, init,
    // audio, terminals, file managers, panels and the system services the session rests on. A
    // list the user already stored is read as stored.
    static const QStringList names = {
        QStringLiteral("Xorg"), QStringLiteral("Xwayland"), QStringLiteral("gnome-shell"), QStringLiteral("kwin_wayland"),
        QStringLiteral("kwin_x11"), QStringLiteral("plasmashell"), QStringLiteral("mutter"), QStringLiteral("gdm"),
        QStringLiteral("sddm"), QStringLiteral("lightdm"), QStringLiteral("systemd"), QStringLiteral("pipewire"),
        QStringLiteral("wireplumber"), QStringLiteral("pulseaudio"), QStringLiteral("gnome-terminal-server"), QStringLiteral("konsole"),
        QStringLiteral("nautilus"), QStringLiteral("dolphin"), QStringLiteral("bluetoothd"), QStringLiteral("dbus-daemon"),
        QStringLiteral("NetworkManager"), QStringLiteral("xfce4-panel"), QStringLiteral("xfwm4"), QStringLiteral("xfce4-terminal")};
    return names;
}

QByteArray AppSettings::defaultProtectedProcessesData()
{
    return QJsonDocument(QJsonArray::fromStringList(defaultProtectedProcesses())).toJson(QJsonDocument::Compact);
}

const QStringList& AppSettings::defaultThrottleCandidates()
{
    static const QStringList names = {
        QStringLiteral("fileproviderd"),       QStringLiteral("mds_stores"),        QStringLiteral("ReportCrash"),
        QStringLiteral("mdworker_shared"),     QStringLiteral("nsurlsessiond"),     QStringLiteral("com.apple.WebKit"),
        QStringLiteral("Google Chrome Helper"), QStringLiteral("Safari Web Content"), QStringLiteral("quicklookd"),
        QStringLiteral("photolibraryd"),       QStringLiteral("photoanalysisd"),    QStringLiteral("mediaanalysisd"),
        QStringLiteral("CloudPhotosAgent"),    QStringLiteral("bird"),              QStringLiteral("suggestd"),
        QStringLiteral("parsecd"),             QStringLiteral("siriknowledged")};
    return names;
}

QStringList AppSettings::protectedProcesses() const
{
    const QJsonDocument doc = QJsonDocument::fromJson(protectedProcessesData());
    if (!doc.isArray()) return {};
    QStringList names;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString()) return {};
        names.append(v.toString());
    }
    return names;
}

QString AppSettings::formatTemperature(std::optional<double> celsius, bool withUnit) const
{
    return formatTemperature(celsius, withUnit, temperatureUnitFahrenheit());
}

QString AppSettings::formatTemperature(std::optional<double> celsius, bool withUnit, bool fahrenheit)
{
    if (!celsius) return QStringLiteral("\u2014");
    const double v = std::round(fahrenheit ? *celsius * 9.0 / 5.0 + 32.0 : *celsius);
    if (!std::isfinite(v)) return QStringLiteral("\u2014");
    QString text = QString::number(static_cast<long long>(v));
    if (withUnit) text += fahrenheit ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C");
    return text;
}

QString AppSettings::formatDataRate(double bytesPerSecond, bool withUnit) const
{
    static const char* byteUnits[] = {"B/s", "KB/s", "MB/s", "GB/s"};
    static const char* bitUnits[] = {"bps", "Kbps", "Mbps", "Gbps"};
    const bool bits = dataRateUnit(dataRateUnitRaw()) == DataRateUnit::bits;
    const char** units = bits ? bitUnits : byteUnits;
    double v = bits ? bytesPerSecond * 8.0 : bytesPerSecond;
    if (!(v >= 0)) v = 0;
    int unit = 0;
    while (v >= 1000 && unit < 3) {
        v /= 1000;
        ++unit;
    }
    QString text = fixed(v, 1);
    if (withUnit) text += QLatin1Char(' ') + QLatin1String(units[unit]);
    return text;
}

QString AppSettings::formatStorageSize(double bytes, bool withUnit) const
{
    static const char* decimalUnits[] = {"B", "KB", "MB", "GB", "TB"};
    static const char* binaryUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    const bool binary = storageUnitBinary();
    const double base = binary ? 1024.0 : 1000.0;
    const char** units = binary ? binaryUnits : decimalUnits;
    double v = bytes;
    if (!(v >= 0)) v = 0;
    int unit = 0;
    while (v >= base && unit < 4) {
        v /= base;
        ++unit;
    }
    QString text = fixed(v, v < 10 ? 1 : 0);
    if (withUnit) text += QLatin1Char(' ') + QLatin1String(units[unit]);
    return text;
}

QList<TavrilonWatchTarget> AppSettings::tavrilonWatchedFolders() const
{
    return TavrilonWatchTarget::decodeList(tavrilonWatchedFoldersJSON()).value_or(QList<TavrilonWatchTarget>());
}

void AppSettings::setTavrilonWatchedFolders(const QList<TavrilonWatchTarget>& targets)
{
    const QString text = TavrilonWatchTarget::encodeList(targets);
    if (text == tavrilonWatchedFoldersJSON()) {
        // Nothing new to store, but observers are still told, as for every write of the list.
        Q_EMIT changed(QStringLiteral("tavrilonWatchedFoldersJSON"));
        return;
    }
    setTavrilonWatchedFoldersJSON(text);
}

void AppSettings::addWatchTarget(const QUrl& folder, qint64 intervalHours)
{
    QList<TavrilonWatchTarget> targets = tavrilonWatchedFolders();
    for (const auto& t : targets) {
        if (t.path == folder) return;
    }
    TavrilonWatchTarget t;
    t.id = QUuid::createUuid();
    t.path = folder;
    t.createdAt = m_clock.now();
    t.intervalHours = intervalHours;
    t.enabled = true;
    targets.append(t);
    setTavrilonWatchedFolders(targets);
}
