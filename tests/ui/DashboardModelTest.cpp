// The dashboard's view-models: what each view shows for given published state, no display.
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "support/ManualClock.h"
#include "ui/dashboard/ChartCurve.h"
#include "ui/dashboard/DashboardTab.h"
#include "ui/dashboard/OverviewModel.h"
#include "ui/dashboard/ProfileStyle.h"
#include "ui/dashboard/SidebarModel.h"
#include "ui/dashboard/StatusCardsModel.h"
#include "ui/theme/ColorHex.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimeZone>
#include <cmath>

namespace {

struct Settings {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    ManualClock clock;
    AppSettings settings{defaults, clock, QLocale(QLocale::English, QLocale::UnitedKingdom)};
};

}  // namespace

TEST(DashboardTabs, TitlesIconsAndLookupByExactTitle)
{
    QStringList titles;
    for (DashboardTab t : DashboardTabs::all) {
        titles << DashboardTabs::rawValue(t);
        EXPECT_EQ(DashboardTabs::fromRaw(DashboardTabs::rawValue(t)), t);
        EXPECT_FALSE(DashboardTabs::icon(t).isEmpty());
    }
    EXPECT_EQ(titles, (QStringList{"Overview", "Tavrilon", "AI Insights", "Processes", "Network", "Battery", "Disk",
                                   "Maintenance", "History", "Settings"}));
    EXPECT_EQ(DashboardTabs::fromRaw(QStringLiteral("AI Insights")), DashboardTab::aiInsights);
    EXPECT_FALSE(DashboardTabs::fromRaw(QStringLiteral("ai insights")));
    EXPECT_FALSE(DashboardTabs::fromRaw(QString()));
    EXPECT_EQ(DashboardTabs::icon(DashboardTab::overview), QStringLiteral("gauge.with.dots.needle.33percent"));
    EXPECT_EQ(DashboardTabs::icon(DashboardTab::settings), QStringLiteral("gearshape"));
}

TEST(SidebarModelTest, OnlyTheSelectedTabIsSelectedAndOnlyAIInsightsCounts)
{
    const auto rows = SidebarModel::tabList(DashboardTab::history, 7);
    ASSERT_EQ(rows.size(), 10);
    for (const auto& row : rows) {
        EXPECT_EQ(row.isSelected, row.tab == DashboardTab::history) << row.label.toStdString();
        EXPECT_EQ(row.badge, row.tab == DashboardTab::aiInsights ? 7 : 0) << row.label.toStdString();
    }
    EXPECT_EQ(SidebarModel::tabList(DashboardTab::overview, 0)[2].badge, 0);
}

TEST(SidebarModelTest, StatusFooterRows)
{
    const auto paused = SidebarModel::statusFooter(false, QStringLiteral("Learning..."), 0);
    EXPECT_EQ(paused.dot, NamedColor::red);
    EXPECT_EQ(paused.monitoringText, QStringLiteral("Paused"));
    EXPECT_EQ(paused.personalityText, QStringLiteral("AI: Learning..."));
    EXPECT_EQ(paused.actionsText, QStringLiteral("Actions: 0"));
    const auto active = SidebarModel::statusFooter(true, QStringLiteral("Night owl"), 500);
    EXPECT_EQ(active.dot, NamedColor::green);
    EXPECT_EQ(active.monitoringText, QStringLiteral("Monitoring Active"));
    EXPECT_EQ(active.actionsText, QStringLiteral("Actions: 500"));
}

TEST(ProfileStyleTest, EachModeHasItsSymbolNameAndColour)
{
    struct Row {
        PerformanceMode mode;
        const char* symbol;
        const char* name;
        QColor color;
    };
    const Row rows[] = {
        {PerformanceMode::maxPerformance, "flame.fill", "Max Performance", namedColor(NamedColor::red)},
        {PerformanceMode::balanced, "scale.3d", "Balanced", colorFromHex(u"#d4a843")},
        {PerformanceMode::batterySaver, "leaf.fill", "Battery Saver", namedColor(NamedColor::green)},
        {PerformanceMode::creativeWork, "paintbrush.fill", "Creative Work", namedColor(NamedColor::purple)},
        {PerformanceMode::developer, "chevron.left.forwardslash.chevron.right", "Developer", namedColor(NamedColor::cyan)},
        {PerformanceMode::gaming, "gamecontroller.fill", "Gaming", namedColor(NamedColor::orange)},
    };
    for (const Row& r : rows) {
        const ProfileStyle s = ProfileStyle::of(r.mode);
        EXPECT_EQ(s.symbol, QLatin1String(r.symbol));
        EXPECT_EQ(s.name, QLatin1String(r.name));
        EXPECT_EQ(s.color, r.color) << r.name;
    }
}

TEST(OverviewModelTest, HealthWordAndColoursAtEveryThreshold)
{
    using StatusBand = HealthScore::StatusBand;
    struct Row {
        int64_t score;
        const char* word;
        NamedColor wordColor;
        HealthScore::StatusBand arc;
    };
    const Row rows[] = {
        {100, "Excellent", NamedColor::green, StatusBand::accent}, {90, "Excellent", NamedColor::green, StatusBand::accent},
        {89, "Good", NamedColor::green, StatusBand::accent},       {80, "Good", NamedColor::green, StatusBand::accent},
        {79, "Good", NamedColor::yellow, StatusBand::warning},     {75, "Good", NamedColor::yellow, StatusBand::warning},
        {74, "Fair", NamedColor::yellow, StatusBand::warning},     {50, "Fair", NamedColor::yellow, StatusBand::warning},
        {49, "Poor", NamedColor::red, StatusBand::danger},         {25, "Poor", NamedColor::red, StatusBand::danger},
        {24, "Critical", NamedColor::red, StatusBand::danger},     {0, "Critical", NamedColor::red, StatusBand::danger},
        {101, "Critical", NamedColor::red, StatusBand::danger},    {-3, "Critical", NamedColor::red, StatusBand::danger},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.score);
        EXPECT_EQ(OverviewModel::healthStatusText(r.score), QLatin1String(r.word));
        EXPECT_EQ(OverviewModel::healthWordColor(r.score), r.wordColor);
        HealthScore h;
        h.score = r.score;
        EXPECT_EQ(h.statusBand(), r.arc);
    }
    EXPECT_DOUBLE_EQ(OverviewModel::ringFraction(100), 1.0);
    EXPECT_DOUBLE_EQ(OverviewModel::ringFraction(0), 0.0);
}

TEST(OverviewModelTest, ScoreBarsKeepTheirColoursAndFillUnclamped)
{
    HealthScore h;
    h.cpuScore = 0;
    h.memoryScore = 50;
    h.diskScore = 100;
    h.thermalScore = 7;
    const PaletteTheme& t = PaletteTheme::hud();
    const auto bars = OverviewModel::scoreBars(h, t);
    ASSERT_EQ(bars.size(), 4);
    EXPECT_EQ(bars[0].label, QStringLiteral("CPU"));
    EXPECT_EQ(bars[0].color, t.metricCPU);
    EXPECT_EQ(bars[1].color, t.metricMemory);
    EXPECT_EQ(bars[2].color, t.metricDisk);
    EXPECT_EQ(bars[3].label, QStringLiteral("Thermal"));
    EXPECT_EQ(bars[3].color, t.metricThermal);
    EXPECT_DOUBLE_EQ(OverviewModel::scoreBarFillWidth(200, 0), 0);
    EXPECT_DOUBLE_EQ(OverviewModel::scoreBarFillWidth(200, 50), 100);
    EXPECT_DOUBLE_EQ(OverviewModel::scoreBarFillWidth(200, 100), 200);
    EXPECT_DOUBLE_EQ(OverviewModel::scoreBarFillWidth(200, 120), 240);
}

TEST(OverviewModelTest, Banners)
{
    EXPECT_FALSE(OverviewModel::memoryLeakBannerText(0));
    EXPECT_EQ(OverviewModel::memoryLeakBannerText(1), QStringLiteral("1 Memory Leak"));
    EXPECT_EQ(OverviewModel::memoryLeakBannerText(3), QStringLiteral("3 Memory Leaks"));
    EXPECT_FALSE(OverviewModel::diskFullBannerText(std::nullopt));
    const QDateTime when(QDate(2027, 1, 5), QTime(12, 0), QTimeZone::utc());
    EXPECT_EQ(OverviewModel::diskFullBannerText(when, QLocale(QLocale::English, QLocale::UnitedKingdom)),
              QStringLiteral("Disk full: 05/01/2027"));
}

TEST(OverviewModelTest, ChartsTakeTheNewestSixtyAndNeedTwoPoints)
{
    const QDateTime t0(QDate(2026, 12, 10), QTime(9, 0), QTimeZone::utc());
    auto history = [&](int n) {
        QList<CPUDataPoint> h;
        for (int i = 0; i < n; ++i) h.append(CPUDataPoint{QUuid::createUuid(), t0.addSecs(10 * i), double(i)});
        return h;
    };
    PerformanceSnapshot s;
    s.cpuUsage = 37.4;
    const PaletteTheme& t = PaletteTheme::ember();
    EXPECT_FALSE(OverviewModel::cpuChart(history(0), s, t).showsChart());
    EXPECT_FALSE(OverviewModel::cpuChart(history(1), s, t).showsChart());
    const auto two = OverviewModel::cpuChart(history(2), s, t);
    EXPECT_TRUE(two.showsChart());
    EXPECT_EQ(two.points.size(), 2);
    const auto many = OverviewModel::cpuChart(history(61), s, t);
    ASSERT_EQ(many.points.size(), 60);
    EXPECT_EQ(many.points.first().y(), 1);  // the oldest point is dropped
    EXPECT_EQ(many.points.last().y(), 60);
    EXPECT_EQ(many.points.first().x(), double(t0.addSecs(10).toMSecsSinceEpoch()));
    EXPECT_EQ(many.valueText, QStringLiteral("37%"));
    EXPECT_EQ(many.title, QStringLiteral("CPU USAGE"));
    EXPECT_EQ(many.metricColor, t.metricCPU);
    EXPECT_EQ(many.symbolTint, t.accent);

    s.memoryUsed = 11.26;
    s.memoryTotal = 16;
    const auto memory = OverviewModel::memoryChart({}, s, t);
    EXPECT_EQ(memory.valueText, QStringLiteral("11.3 / 16 GB"));
    EXPECT_EQ(memory.title, QStringLiteral("MEMORY PRESSURE"));
    EXPECT_EQ(memory.metricColor, t.metricMemory);
    EXPECT_EQ(memory.symbolTint, t.metricMemory);
}

TEST(ChartCurveTest, PassesThroughEveryPointAndKeepsTimeMovingForward)
{
    const QList<QPointF> points{{0, 10}, {1000, 90}, {2000, 5}, {3000, 95}, {4000, 50}};
    const QList<QPointF> curve = ChartCurve::smooth(points, 8);
    ASSERT_EQ(curve.size(), (points.size() - 1) * 8 + 1);
    for (qsizetype i = 0; i < points.size(); ++i) EXPECT_EQ(curve[i * 8], points[i]) << i;
    for (qsizetype i = 1; i < curve.size(); ++i) EXPECT_GE(curve[i].x(), curve[i - 1].x());
    // Two points are a straight line; equal points do not divide by zero.
    EXPECT_EQ(ChartCurve::smooth({{0, 1}, {1, 2}}), (QList<QPointF>{{0, 1}, {1, 2}}));
    for (const QPointF& p : ChartCurve::smooth({{0, 5}, {0, 5}, {0, 5}})) EXPECT_TRUE(std::isfinite(p.y()));
}

TEST(ChartCurveTest, CutsEachSegmentAsFinelyAsTheScreenShowsIt)
{
    // 60 samples a second apart over 400 pixels, 0...100 % over 100: a pixel per unit on y.
    const QPointF scale(400.0 / 59000.0, 1.0);
    QList<QPointF> flat, steep;
    for (int i = 0; i < 60; ++i) {
        flat.append(QPointF(i * 1000.0, 20 + (i % 2) * 0.5));
        steep.append(QPointF(i * 1000.0, (i % 2) * 100.0));
    }
    const struct {
        const char* name;
        QList<QPointF> points;
        qsizetype atMost, atLeast;
    } rows[] = {
        // About 7 pixels a segment: two pieces each, not eight.
        {"flat", flat, 59 * 2 + 1, 59 + 1},
        // A full-height swing every segment keeps every step.
        {"steep", steep, 59 * 8 + 1, 59 * 8 + 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const QList<QPointF> curve = ChartCurve::smoothOnScreen(r.points, scale);
        EXPECT_LE(curve.size(), r.atMost);
        EXPECT_GE(curve.size(), r.atLeast);
        // Every sample is on the curve, in order, and time moves forward.
        qsizetype next = 0;
        for (const QPointF& p : curve) {
            if (next < r.points.size() && p == r.points[next]) ++next;
        }
        EXPECT_EQ(next, r.points.size());
        for (qsizetype i = 1; i < curve.size(); ++i) EXPECT_GE(curve[i].x(), curve[i - 1].x());
        // No piece is much longer on screen than the step asked for, unless capped.
        for (qsizetype i = 1; i < curve.size(); ++i) {
            const double length = std::hypot((curve[i].x() - curve[i - 1].x()) * scale.x(),
                                              (curve[i].y() - curve[i - 1].y()) * scale.y());
            EXPECT_LT(length, r.atMost == r.atLeast ? 40.0 : 6.0) << i;
        }
    }
    // Two points are a line; equal points and a zero scale divide by nothing.
    EXPECT_EQ(ChartCurve::smoothOnScreen({{0, 1}, {1, 2}}, scale), (QList<QPointF>{{0, 1}, {1, 2}}));
    for (const QPointF& p : ChartCurve::smoothOnScreen({{0, 5}, {0, 5}, {0, 5}}, {0, 0}))
        EXPECT_TRUE(std::isfinite(p.x()) && std::isfinite(p.y()));
}

TEST(StatusCardsModelTest, DiskCard)
{
    PerformanceSnapshot placeholder;
    placeholder.diskTotal = 500'000'000'000ULL;
    auto d = StatusCardsModel::disk(placeholder);
    EXPECT_EQ(d.percentText, QStringLiteral("0%"));
    EXPECT_EQ(d.freeText, QStringLiteral("465.7 GB free"));

    PerformanceSnapshot empty;
    d = StatusCardsModel::disk(empty);
    EXPECT_EQ(d.percentUsed, 0);
    EXPECT_EQ(d.percentText, QStringLiteral("0%"));

    PerformanceSnapshot over;
    over.diskUsed = 600;
    over.diskTotal = 500;
    d = StatusCardsModel::disk(over);
    EXPECT_EQ(d.freeText, QStringLiteral("0.0 GB free"));
}

TEST(StatusCardsModelTest, ThermalCardByStateReadingAndUnit)
{
    Settings s;
    s.settings.setTemperatureUnitFahrenheit(false);
    PerformanceSnapshot snap;
    const struct {
        ThermalLevel level;
        const char* icon;
        NamedColor color;
        const char* word;
    } states[] = {{ThermalLevel::nominal, "thermometer.low", NamedColor::green, "Nominal"},
                  {ThermalLevel::fair, "thermometer.medium", NamedColor::yellow, "Fair"},
                  {ThermalLevel::serious, "thermometer.high", NamedColor::orange, "Serious"},
                  {ThermalLevel::critical, "thermometer.sun.fill", NamedColor::red, "Critical"}};
    for (const auto& st : states) {
        snap.thermalState = st.level;
        const auto t = StatusCardsModel::thermal(snap, s.settings);
        EXPECT_EQ(t.icon, QLatin1String(st.icon));
        EXPECT_EQ(t.color, st.color);
        EXPECT_EQ(t.stateWord, QLatin1String(st.word));
    }

    snap.cpuTempC.reset();
    auto t = StatusCardsModel::thermal(snap, s.settings);
    EXPECT_EQ(t.temperatureText, QStringLiteral("—"));
    EXPECT_FALSE(t.gaugeValue);
    EXPECT_EQ(t.note, QStringLiteral("Sensor unavailable — using system pressure"));

    for (auto [reading, gauge] : {std::pair{-4.0, 0.0}, {0.0, 0.0}, {62.4, 62.4}, {110.0, 110.0}, {131.0, 110.0}}) {
        snap.cpuTempC = reading;
        t = StatusCardsModel::thermal(snap, s.settings);
        EXPECT_EQ(t.gaugeValue, gauge) << reading;
        EXPECT_EQ(t.note, QStringLiteral("CPU die")) << "no made-up throttle figure";
    }
    snap.cpuTempC = 131;
    EXPECT_EQ(StatusCardsModel::thermal(snap, s.settings).temperatureText, QStringLiteral("131°C"));

    s.settings.setTemperatureUnitFahrenheit(true);
    snap.cpuTempC = 62;
    t = StatusCardsModel::thermal(snap, s.settings);
    EXPECT_EQ(t.temperatureText, QStringLiteral("144°F"));
    EXPECT_EQ(t.gaugeValue, 62.0);
    EXPECT_EQ(t.note, QStringLiteral("CPU die"));

    // With the firmware's throttle point, the hint names it in the display unit.
    snap.throttleTripC = 108;
    EXPECT_EQ(StatusCardsModel::thermal(snap, s.settings).note, QStringLiteral("CPU die \u2022 throttle at ~226°F"));
    s.settings.setTemperatureUnitFahrenheit(false);
    snap.throttleTripC = 85;
    EXPECT_EQ(StatusCardsModel::thermal(snap, s.settings).note, QStringLiteral("CPU die \u2022 throttle at ~85°C"));
    snap.cpuTempC.reset();
    EXPECT_EQ(StatusCardsModel::thermal(snap, s.settings).note, QStringLiteral("Sensor unavailable — using system pressure"));
    snap.throttleTripC.reset();

    snap.cpuTempC = std::nan("");
    t = StatusCardsModel::thermal(snap, s.settings);
    EXPECT_FALSE(t.gaugeValue);
    EXPECT_EQ(t.temperatureText, QStringLiteral("—"));
}

TEST(StatusCardsModelTest, TopProcessAndNetworkCards)
{
    EXPECT_FALSE(StatusCardsModel::topProcess({}).name);
    const auto top = StatusCardsModel::topProcess(
        {ProcessInfoItem{.name = QStringLiteral("cc1plus"), .cpuUsage = 98.76, .memoryMB = 812.6},
         ProcessInfoItem{.name = QStringLiteral("second"), .cpuUsage = 3}});
    EXPECT_EQ(top.name, QStringLiteral("cc1plus"));
    EXPECT_EQ(top.cpuText, QStringLiteral("98.8% CPU"));
    EXPECT_EQ(top.memoryText, QStringLiteral("813 MB"));

    Settings s;
    auto n = StatusCardsModel::network(0, 1500, 0, s.settings);
    EXPECT_EQ(n.connections, QStringLiteral("0"));
    EXPECT_EQ(n.inText, QStringLiteral("1.5 KB/s"));
    EXPECT_EQ(n.outText, QStringLiteral("0.0 B/s"));
    s.settings.setDataRateUnitRaw(QStringLiteral("bits"));
    n = StatusCardsModel::network(14, 1500, 0, s.settings);
    EXPECT_EQ(n.connections, QStringLiteral("14"));
    EXPECT_EQ(n.inText, QStringLiteral("12.0 Kbps"));
}

TEST(StatusCardsModelTest, AxisLabels)
{
    QStringList labels;
    for (int mark : StatusCardsModel::percentMarks) labels << StatusCardsModel::chartAxisLabel(mark, QStringLiteral("%"));
    EXPECT_EQ(labels, (QStringList{"0%", "25%", "50%", "75%", "100%"}));
    EXPECT_EQ(StatusCardsModel::chartAxisLabel(12.5, QStringLiteral(" KB/s")), QStringLiteral("0 KB/s"));
    EXPECT_EQ(StatusCardsModel::chartAxisLabel(300, QStringLiteral(" KB/s")), QStringLiteral("300 KB/s"));
}
