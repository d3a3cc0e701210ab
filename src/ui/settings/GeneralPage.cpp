#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/shell/HotkeyChoice.h"
#include "ui/shell/HotkeyManager.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

using namespace SettingsStyle;

namespace {

// The whole seconds of a stored interval, cut toward zero; what cannot be a number reads 0.
qint64 wholeNumber(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return 0;
    return qint64(value);
}

class GeneralPage : public SettingsPage {
public:
    GeneralPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        rows()->addWidget(new SectionHeader(QStringLiteral("General Settings"), QStringLiteral("gearshape")));
        auto* card = new SettingsCard(16);
        QVBoxLayout* c = card->content();
        auto add = [&](QWidget* w, bool last = false) {
            c->addWidget(w);
            if (!last) c->addWidget(divider());
        };
        add(toggleRow(QStringLiteral("launchAtLogin"), QStringLiteral("Launch at Login"),
                      QStringLiteral("Start Veltranmoor automatically when you log in"),
                      [&s] { return s.launchAtLogin(); }, [&s](bool on) { s.setLaunchAtLogin(on); }));
        add(toggleRow(QStringLiteral("autoThrottleEnabled"), QStringLiteral("Auto-Throttle Runaway Processes"),
                      QStringLiteral("Automatically reduce priority of processes exceeding CPU threshold"),
                      [&s] { return s.autoThrottleEnabled(); }, [&s](bool on) { s.setAutoThrottleEnabled(on); }));
        add(toggleRow(QStringLiteral("autoCleanupEnabled"), QStringLiteral("Auto-Cleanup Disk Space"),
                      QStringLiteral("Automatically clean caches when disk space is critically low"),
                      [&s] { return s.autoCleanupEnabled(); }, [&s](bool on) { s.setAutoCleanupEnabled(on); }));
        add(toggleRow(QStringLiteral("notificationsEnabled"), QStringLiteral("Notifications"),
                      QStringLiteral("Receive alerts for throttled processes, cleanup actions, and health warnings"),
                      [&s] { return s.notificationsEnabled(); }, [&s](bool on) { s.setNotificationsEnabled(on); }));

        // The HUD hotkey: the hotkey manager follows the stored choice and grabs it.
        UserDefaults& defaults = env.defaults;
        auto* picker = new QComboBox;
        picker->setObjectName(HotkeyManager::hotkeyKey);
        picker->setFixedWidth(150);
        for (const HotkeyChoice& choice : HotkeyChoice::all()) picker->addItem(choice.label, choice.id);
        auto storedID = [&defaults] {
            return defaults.getString(HotkeyManager::hotkeyKey).value_or(QStringLiteral("off"));
        };
        connect(picker, &QComboBox::activated, this, [this, picker, &defaults, storedID](int index) {
            if (refreshing()) return;
            const QString id = picker->itemData(index).toString();
            if (id == storedID()) return;
            defaults.setString(HotkeyManager::hotkeyKey, id);
            refresh();
        });
        onRefresh([picker, storedID] { picker->setCurrentIndex(picker->findData(storedID())); });
        add(controlRow(settingsToggleLabel(QStringLiteral("HUD Hotkey"),
                                           QStringLiteral("Show or hide the desktop HUD from anywhere")),
                       picker));

        auto* polling = new QWidget;
        auto* pollingColumn = new QVBoxLayout(polling);
        pollingColumn->setContentsMargins(0, 0, 0, 0);
        pollingColumn->setSpacing(6);
        QLabel* value = makeText(QString(), mono(13), Qt::white);
        value->setObjectName(QStringLiteral("pollingValue"));
        liveText(value, [&s] { return QString::number(wholeNumber(s.pollingIntervalSeconds())) + QStringLiteral("s"); });
        onRefresh([this, value] {
            setInk(value, QPalette::WindowText, accent());
        });
        pollingColumn->addWidget(controlRow(makeText(QStringLiteral("Polling Interval"), sysFont(13, QFont::Medium), Qt::white),
                                            value));
        pollingColumn->addWidget(slider(QStringLiteral("pollingIntervalSeconds"), 5, 60, 5,
                                        [&s] { return s.pollingIntervalSeconds(); },
                                        [&s](double v) { s.setPollingIntervalSeconds(v); }));
        pollingColumn->addWidget(makeText(QStringLiteral("How often Veltranmoor checks system performance (lower = more "
                                                     "responsive, higher = less battery impact)"),
                                      sysFont(10), gray, true));
        add(polling);

        auto unitRow = [&](const QString& name, const QString& title, const QString& caption, QStringList labels,
                           int width, std::function<int()> get, std::function<void(int)> set) {
            return controlRow(settingsToggleLabel(title, caption), segmented(name, labels, width, get, set), nullptr, 12);
        };
        add(unitRow(QStringLiteral("temperatureUnitFahrenheitV2"), QStringLiteral("Temperature"),
                    QStringLiteral("CPU and GPU temperature, everywhere in the app"),
                    {QStringLiteral("\u00B0C"), QStringLiteral("\u00B0F")}, 96,
                    [&s] { return s.temperatureUnitFahrenheit() ? 1 : 0; },
                    [&s](int i) { s.setTemperatureUnitFahrenheit(i == 1); }));
        add(unitRow(QStringLiteral("dataRateUnit"), QStringLiteral("Network Speed"),
                    QStringLiteral("KB/s is what a file copy shows. Kbps is what your ISP quotes \u2014 they differ by 8\u00D7."),
                    {QStringLiteral("KB/s"), QStringLiteral("Kbps")}, 116,
                    [&s] { return s.dataRateUnitRaw() == QLatin1String("bits") ? 1 : 0; },
                    [&s](int i) { s.setDataRateUnitRaw(i == 1 ? QStringLiteral("bits") : QStringLiteral("bytes")); }));
        add(unitRow(QStringLiteral("storageUnitBinary"), QStringLiteral("Storage"),
                    QStringLiteral("GB is how drives are sold and what Files shows. GiB is what the kernel reports."),
                    {QStringLiteral("GB"), QStringLiteral("GiB")}, 96,
                    [&s] { return s.storageUnitBinary() ? 1 : 0; },
                    [&s](int i) { s.setStorageUnitBinary(i == 1); }));
        add(unitRow(QStringLiteral("use24HourTime"), QStringLiteral("Time"),
                    QStringLiteral("Clock format used in logs and timestamps"), {QStringLiteral("12h"), QStringLiteral("24h")},
                    96, [&s] { return s.use24HourTime() ? 1 : 0; }, [&s](int i) { s.setUse24HourTime(i == 1); }),
            true);
        rows()->addWidget(card);
    }
};

}  // namespace

SettingsPage* makeGeneralPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new GeneralPage(env, state);
}
