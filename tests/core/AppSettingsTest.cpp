#include "core/AppSettings.h"
#include "core/Dates.h"
#include "core/Paths.h"
#include "core/UserDefaults.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

struct Store {
    QTemporaryDir dir;
    ManualClock clock;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<AppSettings> settings;

    explicit Store(const QLocale& locale = QLocale(QLocale::German, QLocale::Germany)) { reopen(locale); }
    QString path() const { return dir.path() + QStringLiteral("/settings.json"); }
    void reopen(const QLocale& locale = QLocale(QLocale::German, QLocale::Germany))
    {
        settings.reset();
        defaults = std::make_unique<UserDefaults>(path());
        settings = std::make_unique<AppSettings>(*defaults, clock, locale);
    }
};

}  // namespace

TEST(AppSettings, DefaultsFollowTheLocale)
{
    const struct {
        QLocale locale;
        bool fahrenheit;
        bool use24Hour;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), true, false},
        {QLocale(QLocale::German, QLocale::Germany), false, true},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), false, true},
    };
    for (const auto& c : cases) {
        Store store(c.locale);
        EXPECT_EQ(store.settings->temperatureUnitFahrenheit(), c.fahrenheit) << c.locale.name().toStdString();
        EXPECT_EQ(store.settings->use24HourTime(), c.use24Hour) << c.locale.name().toStdString();
    }
}

TEST(AppSettings, StoredDefaultsAndKeys)
{
    Store store;
    AppSettings& s = *store.settings;
    EXPECT_DOUBLE_EQ(s.cpuThreshold(), 80.0);
    EXPECT_DOUBLE_EQ(s.pollingIntervalSeconds(), 10.0);
    EXPECT_EQ(s.scheduledMaintenanceHour(), 3);
    EXPECT_EQ(s.aiShieldQuietHoursStartMin(), 1380);
    EXPECT_EQ(s.ollamaModel(), QStringLiteral("llama3.2:3b"));
    EXPECT_EQ(s.dataRateUnitRaw(), QStringLiteral("bytes"));
    EXPECT_EQ(s.tavrilonWatchedFoldersJSON(), QStringLiteral("[]"));
    EXPECT_EQ(QUrl(s.vraxEndpointURL()).path(), QStringLiteral("/mcp"));
    EXPECT_EQ(QUrl(s.telemetryEndpoint()).path(), QStringLiteral("/api/veltranmoor/telemetry"));
    EXPECT_EQ(QUrl(s.ollamaEndpoint()).port(), 11434);
    // Only names that exist on Linux, in their order; nothing of another platform.
    EXPECT_EQ(s.protectedProcesses().size(), 24);
    EXPECT_EQ(s.protectedProcessesData(),
              QByteArray(R"(["Xorg","Xwayland","gnome-shell","kwin_wayland","kwin_x11","plasmashell","mutter","gdm",)"
                         R"("sddm","lightdm","systemd","pipewire","wireplumber","pulseaudio","gnome-terminal-server",)"
                         R"("konsole","nautilus","dolphin","bluetoothd","dbus-daemon","NetworkManager","xfce4-panel",)"
                         R"("xfwm4","xfce4-terminal"])"));
    // A list the user saved is read as saved, without the new names.
    const QByteArray saved = R"(["Finder","WindowServer","myeditor"])";
    s.setProtectedProcessesData(saved);
    EXPECT_EQ(s.protectedProcesses(), (QStringList{"Finder", "WindowServer", "myeditor"}));
    s.setProtectedProcessesData(AppSettings::defaultProtectedProcessesData());
    EXPECT_EQ(AppSettings::defaultThrottleCandidates().size(), 17);

    // Renamed keys are the ones stored.
    s.setTemperatureUnitFahrenheit(true);
    s.setDataRateUnitRaw(QStringLiteral("bits"));
    EXPECT_EQ(store.defaults->getBool(QStringLiteral("temperatureUnitFahrenheitV2")), true);
    EXPECT_EQ(store.defaults->getString(QStringLiteral("dataRateUnit")), QStringLiteral("bits"));
}

TEST(AppSettings, WrongTypedValuesReadAsDefault)
{
    Store store;
    store.defaults->setString(QStringLiteral("cpuThreshold"), QStringLiteral("ninety"));
    store.defaults->setDouble(QStringLiteral("scheduledMaintenanceHour"), 3.5);
    store.defaults->setInt(QStringLiteral("notificationsEnabled"), 0);
    store.defaults->setString(QStringLiteral("protectedProcessesData"), QStringLiteral("[]"));
    EXPECT_DOUBLE_EQ(store.settings->cpuThreshold(), 80.0);
    EXPECT_EQ(store.settings->scheduledMaintenanceHour(), 3);
    EXPECT_TRUE(store.settings->notificationsEnabled());
    EXPECT_EQ(store.settings->protectedProcesses(), AppSettings::defaultProtectedProcesses());
}

TEST(AppSettings, MigrationAcrossLaunches)
{
    Store store;
    EXPECT_EQ(store.defaults->getBool(QStringLiteral("migration_4_2_1_autoCleanDownloads_optIn")), true);
    EXPECT_EQ(store.defaults->getBool(QStringLiteral("autoCleanDownloads")), false);

    store.settings->setAutoCleanDownloads(true);
    store.settings->setAutoCleanTrash(true);
    EXPECT_TRUE(store.settings->autoCleanTrash());

    store.reopen();
    EXPECT_TRUE(store.settings->autoCleanDownloads()) << "the opt-in migration runs once";
    EXPECT_FALSE(store.settings->autoCleanTrash()) << "emptying the Trash automatically lasts one launch";
}

TEST(AppSettings, FormatTemperature)
{
    Store store;
    AppSettings& s = *store.settings;
    const struct {
        bool fahrenheit;
        std::optional<double> celsius;
        bool unit;
        const char* text;
    } cases[] = {
        {false, std::nullopt, true, "\u2014"},
        {true, std::nullopt, false, "\u2014"},
        {false, 47.6, true, "48\u00B0C"},
        {false, 47.6, false, "48"},
        {true, 47.6, true, "118\u00B0F"},
        {false, -0.4, true, "0\u00B0C"},
        {false, 2.5, false, "3"},
        {false, -2.5, false, "-3"},
    };
    for (const auto& c : cases) {
        s.setTemperatureUnitFahrenheit(c.fahrenheit);
        EXPECT_EQ(s.formatTemperature(c.celsius, c.unit), QString::fromUtf8(c.text));
    }
}

TEST(AppSettings, FormatDataRateAndStorageSize)
{
    Store store;
    AppSettings& s = *store.settings;
    const struct {
        const char* unit;
        double rate;
        bool withUnit;
        const char* text;
    } rates[] = {
        {"bytes", 999, true, "999.0 B/s"},  {"bytes", 1000, true, "1.0 KB/s"},
        {"bytes", 1.5e6, true, "1.5 MB/s"}, {"bits", 1.5e6, true, "12.0 Mbps"},
        {"bytes", -5, true, "0.0 B/s"},     {"bits", 1000, true, "8.0 Kbps"},
        {"bytes", 1.5e12, true, "1500.0 GB/s"}, {"nonsense", 2000, false, "2.0"},
    };
    for (const auto& c : rates) {
        s.setDataRateUnitRaw(QString::fromUtf8(c.unit));
        EXPECT_EQ(s.formatDataRate(c.rate, c.withUnit), QString::fromUtf8(c.text)) << c.rate;
    }

    const struct {
        bool binary;
        double bytes;
        bool withUnit;
        const char* text;
    } sizes[] = {
        {false, 5, true, "5.0 B"},       {false, 999, true, "999 B"},        {false, 1000, true, "1.0 KB"},
        {false, 2.5e9, true, "2.5 GB"},  {false, 15e9, true, "15 GB"},       {true, 1024, true, "1.0 KiB"},
        {false, 9.96, true, "10.0 B"},   {false, 10, true, "10 B"},          {false, -3, false, "0.0"},
        {false, 5e15, true, "5000 TB"},
    };
    for (const auto& c : sizes) {
        s.setStorageUnitBinary(c.binary);
        EXPECT_EQ(s.formatStorageSize(c.bytes, c.withUnit), QString::fromUtf8(c.text)) << c.bytes;
    }
}

TEST(AppSettings, WatchedFolders)
{
    Store store;
    AppSettings& s = *store.settings;
    QSignalSpy spy(&s, &AppSettings::changed);

    const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/home/u/Downloads"));
    s.addWatchTarget(folder, 24);
    s.addWatchTarget(folder, 6);
    const auto targets = s.tavrilonWatchedFolders();
    ASSERT_EQ(targets.size(), 1);
    EXPECT_EQ(targets[0].path, folder);
    EXPECT_EQ(targets[0].intervalHours, 24);
    EXPECT_EQ(targets[0].createdAt, store.clock.now());
    EXPECT_FALSE(targets[0].lastOutcome.has_value());
    EXPECT_GE(spy.count(), 1);

    // The stored form: upper-case id, file URL, reference-date seconds, no absent optionals.
    const QJsonArray stored = QJsonDocument::fromJson(s.tavrilonWatchedFoldersJSON().toUtf8()).array();
    const QJsonObject o = stored.at(0).toObject();
    EXPECT_EQ(o.value("path").toString(), QStringLiteral("file:///home/u/Downloads"));
    EXPECT_EQ(o.value("id").toString(), o.value("id").toString().toUpper());
    EXPECT_FALSE(o.contains("lastOutcome"));
    EXPECT_FALSE(o.contains("lastMaintainedAt"));
    EXPECT_NEAR(o.value("createdAt").toDouble(), 794'145'600.0, 0.001);  // 2026-03-02 12:00 UTC

    // Undecodable text reads as empty and stays until the next write replaces it.
    for (const char* bad : {"not json", R"([{"id":"x"}])", R"([{"id":"8B1A8E63-6C2B-4A43-9F0B-2A7D8E9C1D10","path":"file:///a","createdAt":1,"intervalHours":1.5,"enabled":true}])"}) {
        s.setTavrilonWatchedFoldersJSON(QString::fromUtf8(bad));
        EXPECT_TRUE(s.tavrilonWatchedFolders().isEmpty()) << bad;
        EXPECT_EQ(s.tavrilonWatchedFoldersJSON(), QString::fromUtf8(bad));
    }
    s.addWatchTarget(folder, 6);
    EXPECT_EQ(s.tavrilonWatchedFolders().size(), 1);
}

TEST(AppSettings, WatchTargetRoundTripKeepsOptionalsAndNullMeansAbsent)
{
    TavrilonWatchTarget t;
    t.id = QUuid::createUuid();
    t.path = QUrl::fromLocalFile(QStringLiteral("/tmp/with space"));
    t.createdAt = Dates::fromReferenceSeconds(1000.25);
    t.lastMaintainedAt = Dates::fromReferenceSeconds(2000.5);
    t.lastOutcome = QStringLiteral("Sorted 3 files");
    t.intervalHours = 168;
    const auto back = TavrilonWatchTarget::decodeList(TavrilonWatchTarget::encodeList({t}));
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), 1);
    EXPECT_EQ(back->at(0), t);

    const auto withNull = TavrilonWatchTarget::decodeList(QStringLiteral(
        R"([{"id":"8B1A8E63-6C2B-4A43-9F0B-2A7D8E9C1D10","path":"file:///a","createdAt":1,"intervalHours":1,"enabled":true,"lastOutcome":null}])"));
    ASSERT_TRUE(withNull.has_value());
    EXPECT_FALSE(withNull->at(0).lastOutcome.has_value());
}
