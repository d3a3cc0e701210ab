// Every control of the settings window, driven as a user drives it: it writes its key into the
// settings file with the right type and value, and shows a change made to the file from outside.
#include "SettingsRig.h"

#include "core/UserDefaults.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/theme/TavrilonToggle.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>

using namespace settings_rig;

namespace {

enum class Act { toggle, stepUp, stepDown, slide, segment, pick, type };

struct ControlCase {
    SettingsSection section;
    const char* control;
    Act act;
    QVariant arg;  // slider position, segment or pick index, typed text
    const char* key;
    QJsonValue written;
    QJsonValue external;  // written to the file by another program
    QVariant shown;       // what the control shows afterwards
    std::function<void(AppSettings&)> before = {};
};

QVariant shownBy(QWidget* w)
{
    if (auto* t = qobject_cast<TavrilonToggle*>(w)) return t->isChecked();
    if (auto* s = qobject_cast<Stepper*>(w)) return s->value();
    if (auto* s = qobject_cast<QSlider*>(w)) return s->value();
    if (auto* s = qobject_cast<Segmented*>(w)) return s->index();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    return {};
}

void act(QWidget* w, Act how, const QVariant& arg)
{
    switch (how) {
    case Act::toggle: QTest::mouseClick(w, Qt::LeftButton); break;
    case Act::stepUp: QTest::mouseClick(static_cast<Stepper*>(w)->upButton(), Qt::LeftButton); break;
    case Act::stepDown: QTest::mouseClick(static_cast<Stepper*>(w)->downButton(), Qt::LeftButton); break;
    case Act::slide: {
        // Keyboard moves of the thumb, as a user would make them.
        auto* s = static_cast<QSlider*>(w);
        s->setFocus();
        const int target = arg.toInt();
        while (s->value() < target) QTest::keyClick(s, Qt::Key_Right);
        while (s->value() > target) QTest::keyClick(s, Qt::Key_Left);
        break;
    }
    case Act::segment: QTest::mouseClick(static_cast<Segmented*>(w)->segment(arg.toInt()), Qt::LeftButton); break;
    case Act::pick: {
        auto* c = static_cast<QComboBox*>(w);
        c->setFocus();
        // The popup's choice arrives as `activated`, which a keyboard move also sends.
        while (c->currentIndex() < arg.toInt()) QTest::keyClick(c, Qt::Key_Down);
        break;
    }
    case Act::type: {
        auto* e = static_cast<QLineEdit*>(w);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, arg.toString());
        break;
    }
    }
    dashboard_rig::settle();
}

// Another program writes the file; the control follows once the store has read it.
void writeOutside(const Rig& rig, const QString& key, const QJsonValue& value)
{
    UserDefaults other(rig.base.defaults.filePath());
    if (value.isBool()) other.setBool(key, value.toBool());
    else if (value.isString()) other.setString(key, value.toString());
    else if (value.toDouble() == double(qint64(value.toDouble())) && value.toVariant().typeId() != QMetaType::Double)
        other.setInt(key, qint64(value.toDouble()));
    else other.setDouble(key, value.toDouble());
}

bool sameTyped(const QJsonValue& a, const QJsonValue& b)
{
    return a.type() == b.type() && a.toVariant() == b.toVariant();
}

const auto chatOn = [](AppSettings& s) { s.setAiChatEnabled(true); };

}  // namespace

TEST(SettingsControls, EveryControlWritesItsKeyAndFollowsTheFile)
{
    using S = SettingsSection;
    const QList<ControlCase> cases{
        {S::profiles, "veltranmoor_auto_switch", Act::toggle, {}, "veltranmoor_auto_switch", true, false, false},
        {S::general, "launchAtLogin", Act::toggle, {}, "launchAtLogin", true, false, false},
        {S::general, "notificationsEnabled", Act::toggle, {}, "notificationsEnabled", true, false, false},
        {S::general, "hudHotkey", Act::pick, 2, "hudHotkey", "cmd-opt-g", "ctrl-opt-h", 3},
        {S::general, "pollingIntervalSeconds", Act::slide, 0, "pollingIntervalSeconds", 5.0, 30.0, 5},
        {S::general, "temperatureUnitFahrenheitV2", Act::segment, 1, "temperatureUnitFahrenheitV2", true, false, 0},
        {S::general, "dataRateUnit", Act::segment, 1, "dataRateUnit", "bits", "no-such-unit", 0},
        {S::general, "storageUnitBinary", Act::segment, 1, "storageUnitBinary", true, false, 0},
        {S::general, "use24HourTime", Act::segment, 0, "use24HourTime", false, true, 1},
        {S::autopilot, "autoPilotEnabled", Act::toggle, {}, "autoPilotEnabled", false, true, true},
        {S::autopilot, "scheduledMaintenanceHour", Act::slide, 23, "scheduledMaintenanceHour", 23, 5, 5},
        {S::autopilot, "logCleanupDays", Act::stepUp, {}, "logCleanupDays", 8, 30, qint64(30)},
        {S::autopilot, "downloadCleanupDays", Act::stepDown, {}, "downloadCleanupDays", 29, 90, qint64(90),
         [](AppSettings& s) { s.setAutoCleanDownloads(true); }},
        {S::automation, "aiWorkloadModePauseDurationMin", Act::stepUp, {}, "aiWorkloadModePauseDurationMin", 15, 60,
         qint64(60)},
        {S::automation, "gpuThermalThresholdC", Act::slide, 40, "gpuThermalThresholdC", 100.0, 70.0, 10},
        {S::automation, "historyRetentionHours", Act::slide, 0, "historyRetentionHours", 1.0, 48.0, 47},
        {S::automation, "preemptiveMemoryReliefEnabled", Act::toggle, {}, "preemptiveMemoryReliefEnabled", false, true,
         true},
        {S::automation, "snoozeGuardEnabled", Act::toggle, {}, "snoozeGuardEnabled", true, false, false},
        {S::assistant, "aiChatEnabled", Act::toggle, {}, "aiChatEnabled", false, true, true},
        {S::assistant, "ollamaEnabled", Act::toggle, {}, "ollamaEnabled", true, false, false},
        {S::assistant, "ollamaEndpoint", Act::type, QStringLiteral("http://127.0.0.1:9"), "ollamaEndpoint",
         "http://127.0.0.1:9", "http://10.0.0.2:11434", QStringLiteral("http://10.0.0.2:11434"),
         [](AppSettings& s) { s.setOllamaEnabled(true); }},
        {S::assistant, "ollamaModel", Act::type, QStringLiteral("qwen2.5:7b"), "ollamaModel", "qwen2.5:7b", "phi3",
         QStringLiteral("phi3"), [](AppSettings& s) { s.setOllamaEnabled(true); }},
        {S::assistant, "byoKeyProvider", Act::segment, 1, "byoKeyProvider", "openai", "anthropic", 0,
         [](AppSettings& s) { s.setByoKeyEnabled(true); }},
        {S::assistant, "byoKeyModel", Act::type, QStringLiteral("gpt-4o"), "byoKeyModel", "gpt-4o", "o3",
         QStringLiteral("o3"), [](AppSettings& s) { s.setByoKeyEnabled(true); }},
        {S::assistant, "byoKeyValue", Act::type, QStringLiteral(" sk-live-123 "), "byoKeyValue", " sk-live-123 ",
         "sk-other", QStringLiteral("sk-other"), [](AppSettings& s) { s.setByoKeyEnabled(true); }},
        {S::assistant, "aiChatPreferOwnKey", Act::toggle, {}, "aiChatPreferOwnKey", true, false, false,
         [](AppSettings& s) { s.setByoKeyEnabled(true); }},
        {S::thresholds, "cpuThreshold", Act::slide, 10, "cpuThreshold", 100.0, 55.0, 1},
        {S::thresholds, "sustainedTimeBeforeAction", Act::slide, 0, "sustainedTimeBeforeAction", 10.0, 60.0, 10},
        {S::thresholds, "diskWarningThresholdGB", Act::slide, 0, "diskWarningThresholdGB", 5.0, 50.0, 9},
        {S::thresholds, "diskCriticalThresholdGB", Act::slide, 28, "diskCriticalThresholdGB", 30.0, 2.0, 0},
        {S::aiShield, "aiShieldQuietHoursEnabled", Act::toggle, {}, "aiShieldQuietHoursEnabled", true, false, false},
        {S::aiShield, "aiShieldQuietHoursStartMin", Act::stepDown, {}, "aiShieldQuietHoursStartMin", 1320, 60,
         qint64(1), [](AppSettings& s) { s.setAiShieldQuietHoursEnabled(true); }},
        {S::aiShield, "aiShieldQuietHoursEndMin", Act::stepUp, {}, "aiShieldQuietHoursEndMin", 480, 0, qint64(0),
         [](AppSettings& s) { s.setAiShieldQuietHoursEnabled(true); }},
        {S::integration, "vraxIntegrationEnabled", Act::toggle, {}, "vraxIntegrationEnabled", true, false, false},
        {S::integration, "vraxEndpointURL", Act::type, QStringLiteral("https://vrax.example/mcp"), "vraxEndpointURL",
         "https://vrax.example/mcp", "", QString(), [](AppSettings& s) { s.setVraxIntegrationEnabled(true); }},
        {S::integration, "fleetCommsEnabled", Act::toggle, {}, "fleetCommsEnabled", true, false, false,
         [](AppSettings& s) { s.setVraxIntegrationEnabled(true); }},
        {S::about, "telemetryEnabled", Act::toggle, {}, "telemetryEnabled", false, true, true},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.control);
        Rig rig;
        chatOn(rig.base.settings);
        if (c.before) c.before(rig.base.settings);
        Window w(rig);
        w.open(c.section);
        QWidget* control = w.find(QString::fromLatin1(c.control));
        ASSERT_NE(control, nullptr);
        ASSERT_TRUE(control->isVisibleTo(w.view.get()));
        act(control, c.act, c.arg);
        const QJsonValue stored = rig.stored().value(QLatin1String(c.key));
        EXPECT_TRUE(sameTyped(stored, c.written)) << stored.toVariant().toString().toStdString();

        writeOutside(rig, QString::fromLatin1(c.key), c.external);
        EXPECT_TRUE(QTest::qWaitFor([&] { return shownBy(control) == c.shown; }, 3000))
            << shownBy(control).toString().toStdString();
    }
}

TEST(SettingsControls, SwitchesWithSideEffectsCallTheirOwner)
{
    Rig rig;
    Window w(rig);
    w.open(SettingsSection::automation);
    QTest::mouseClick(w.find(QStringLiteral("snoozeGuardEnabled")), Qt::LeftButton);
    QTest::mouseClick(w.find(QStringLiteral("snoozeGuardEnabled")), Qt::LeftButton);
    EXPECT_EQ(rig.snoozeCalls, (QStringList{QStringLiteral("on"), QStringLiteral("off")}));

    // Telemetry: the switch also records the decision and restarts the uploads.
    w.open(SettingsSection::about);
    EXPECT_FALSE(rig.base.settings.telemetryConsentDecided());
    QTest::mouseClick(w.find(QStringLiteral("telemetryEnabled")), Qt::LeftButton);
    EXPECT_FALSE(rig.base.settings.telemetryEnabled());
    EXPECT_TRUE(rig.base.settings.telemetryConsentDecided());
    EXPECT_EQ(rig.telemetry.starts, 1);

    // Choosing the hotkey already chosen stores nothing again.
    w.open(SettingsSection::general);
    auto* picker = w.find<QComboBox>(QStringLiteral("hudHotkey"));
    int writes = 0;
    QObject::connect(&rig.base.defaults, &UserDefaults::changed, [&](const QString& key) {
        if (key == QLatin1String("hudHotkey")) ++writes;
    });
    Q_EMIT picker->activated(picker->currentIndex());
    EXPECT_EQ(writes, 0);
    // An unknown stored id selects no entry.
    rig.base.defaults.setString(QStringLiteral("hudHotkey"), QStringLiteral("hyper-x"));
    EXPECT_EQ(picker->currentIndex(), -1);
}

TEST(SettingsControls, ConditionalRowsFollowTheirSwitches)
{
    struct Row {
        SettingsSection section;
        const char* widget;
        std::function<void(AppSettings&, bool)> flip;
        bool shownWhenOn;
    };
    const QList<Row> rows{
        {SettingsSection::automation, "pauseRow", [](AppSettings& s, bool on) { s.setAiWorkloadModeEnabled(on); }, true},
        {SettingsSection::automation, "thresholdStack",
         [](AppSettings& s, bool on) { s.setGpuThermalAutoThrottleEnabled(on); }, true},
        {SettingsSection::assistant, "ollamaFields", [](AppSettings& s, bool on) { s.setOllamaEnabled(on); }, true},
        {SettingsSection::assistant, "ownKeyFields", [](AppSettings& s, bool on) { s.setByoKeyEnabled(on); }, true},
        // The assistant switch hides both blocks even while their own switches stay on.
        {SettingsSection::assistant, "ollamaFields",
         [](AppSettings& s, bool on) {
             s.setOllamaEnabled(true);
             s.setAiChatEnabled(on);
         },
         true},
        {SettingsSection::integration, "vraxDetails", [](AppSettings& s, bool on) { s.setVraxIntegrationEnabled(on); },
         true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.widget);
        Rig rig;
        Window w(rig);
        w.open(r.section);
        QWidget* widget = w.find(QString::fromLatin1(r.widget));
        ASSERT_NE(widget, nullptr);
        for (bool on : {true, false, true}) {
            r.flip(rig.base.settings, on);
            dashboard_rig::settle();
            EXPECT_EQ(widget->isVisibleTo(w.view.get()), on == r.shownWhenOn);
        }
    }

    // Dimmed and inert, not hidden: the AutoPilot day steppers and hour slider, quiet hours.
    Rig rig;
    Window w(rig);
    w.open(SettingsSection::autopilot);
    AppSettings& s = rig.base.settings;
    QWidget* logs = w.find(QStringLiteral("logCleanupDays"))->parentWidget();
    QWidget* downloads = w.find(QStringLiteral("downloadCleanupDays"))->parentWidget();
    QWidget* hour = w.find(QStringLiteral("scheduledMaintenanceHour"));
    EXPECT_TRUE(logs->isEnabled());
    EXPECT_FALSE(downloads->isEnabled());  // downloads cleaning is off by default
    s.setAutoPilotEnabled(false);
    EXPECT_FALSE(logs->isEnabled());
    EXPECT_FALSE(hour->isEnabled());
    // The task switches stay usable while AutoPilot is off.
    EXPECT_TRUE(w.find(QStringLiteral("autoCleanLogs"))->isEnabled());
    const qint64 days = s.logCleanupDays();
    QTest::mouseClick(static_cast<Stepper*>(w.find(QStringLiteral("logCleanupDays")))->upButton(), Qt::LeftButton);
    EXPECT_EQ(s.logCleanupDays(), days);

    w.open(SettingsSection::aiShield);
    QWidget* quiet = w.find(QStringLiteral("quietHoursRow"));
    EXPECT_FALSE(quiet->isEnabled());
    s.setAiShieldQuietHoursEnabled(true);
    EXPECT_TRUE(quiet->isEnabled());
}

TEST(SettingsControls, RangesClampAndOutOfRangeValuesAreShownNotRewritten)
{
    Rig rig;
    AppSettings& s = rig.base.settings;
    Window w(rig);

    // Steppers never leave their range.
    w.open(SettingsSection::automation);
    auto* pause = w.find<Stepper>(QStringLiteral("aiWorkloadModePauseDurationMin"));
    EXPECT_EQ(pause->label()->text(), QStringLiteral("10 min"));
    s.setAiWorkloadModePauseDurationMin(60);
    EXPECT_FALSE(pause->upButton()->isEnabled());
    Q_EMIT pause->upButton()->clicked();
    EXPECT_EQ(s.aiWorkloadModePauseDurationMin(), 60);
    s.setAiWorkloadModePauseDurationMin(5);
    QTest::mouseClick(pause->downButton(), Qt::LeftButton);
    EXPECT_EQ(s.aiWorkloadModePauseDurationMin(), 5);
    // A stored value outside the range steps back into it.
    s.setAiWorkloadModePauseDurationMin(300);
    pause->downButton()->click();
    EXPECT_EQ(s.aiWorkloadModePauseDurationMin(), 60);

    // The threshold follows the unit; the stored Celsius stays.
    auto* degrees = w.find<QLabel>(QStringLiteral("thresholdLabel"));
    EXPECT_EQ(degrees->text(), QStringLiteral("85\u00B0C"));
    s.setTemperatureUnitFahrenheit(true);
    EXPECT_EQ(degrees->text(), QStringLiteral("185\u00B0F"));
    EXPECT_EQ(s.gpuThermalThresholdC(), 85.0);

    // A profile's 8 s lies below the slider's range: shown as stored, the thumb at its end.
    w.open(SettingsSection::thresholds);
    s.setSustainedTimeBeforeAction(8);
    s.setCpuThreshold(82.7);
    auto* time = w.find<QSlider>(QStringLiteral("sustainedTimeBeforeAction"));
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("sustainedTimeBeforeActionValue"))->text(), QStringLiteral("8s"));
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("cpuThresholdValue"))->text(), QStringLiteral("82%"));
    EXPECT_EQ(time->value(), 0);
    EXPECT_EQ(s.sustainedTimeBeforeAction(), 8.0);
    s.setDiskCriticalThresholdGB(30);
    s.setDiskWarningThresholdGB(5);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("diskCriticalThresholdGBValue"))->text(), QStringLiteral("30 GB"));
    EXPECT_EQ(s.diskWarningThresholdGB(), 5.0);

    // The polling value cuts a fraction; the AutoPilot hour reads on a 12-hour clock.
    w.open(SettingsSection::general);
    s.setPollingIntervalSeconds(7.5);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("pollingValue"))->text(), QStringLiteral("7s"));
    w.open(SettingsSection::autopilot);
    s.setUse24HourTime(true);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("hourLabel"))->text(), QStringLiteral("3:00 AM"));

    // Quiet hours keep their minutes when the hour changes.
    w.open(SettingsSection::aiShield);
    s.setAiShieldQuietHoursEnabled(true);
    s.setAiShieldQuietHoursStartMin(1410);
    auto* start = w.find<Stepper>(QStringLiteral("aiShieldQuietHoursStartMin"));
    EXPECT_EQ(start->label()->text(), QStringLiteral("23:30"));
    QTest::mouseClick(start->downButton(), Qt::LeftButton);
    EXPECT_EQ(s.aiShieldQuietHoursStartMin(), 1350);
    s.setAiShieldQuietHoursStartMin(1380);
    EXPECT_FALSE(start->upButton()->isEnabled());
}
