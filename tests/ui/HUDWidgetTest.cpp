#include "ui/HUDRig.h"
#include "ui/dashboard/AIInsightsTab.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/shell/HUDReadout.h"
#include "ui/shell/HeroDeltaView.h"
#include "ui/theme/HexGauge.h"
#include "ui/theme/TavrilonHeroButton.h"

#include <gtest/gtest.h>
#include <QPaintEvent>

#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace {

constexpr uint64_t kGiB = 1ULL << 30;

QString shotPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
    return QDir(QStringLiteral(VELTRANMOOR_SCREENSHOTS)).filePath(name + QStringLiteral(".png"));
}

QList<CPUDataPoint> history(int points)
{
    QList<CPUDataPoint> h;
    for (int i = 0; i < points; ++i) h << CPUDataPoint{QUuid::createUuid(), QDateTime(), double(i)};
    return h;
}

void hover(QWidget* w)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(w, &enter);
}

}  // namespace

TEST(HUDReadout, TheTextsOverTheViewModel)
{
    dashboard_rig::Rig rig;
    PerformanceSnapshot base;
    base.cpuUsage = 37.9;
    base.memoryUsed = 6;
    base.memoryTotal = 16;
    base.diskTotal = 500 * kGiB;
    base.diskUsed = 400 * kGiB;
    HealthScore health;
    health.score = 83;

    struct Case {
        const char* name;
        std::function<void(PerformanceSnapshot&, HUDReadout::LearnedInput&)> edit;
        int historyPoints;
        bool monitoring;
        std::function<void(const HUDReadout::Values&)> check;
    };
    const Case cases[] = {
        {"figures truncate", [](auto&, auto&) {}, 5, true,
         [](const HUDReadout::Values& v) {
             EXPECT_EQ(v.cpuPercent, 37);
             EXPECT_EQ(v.memoryPercent, 37);  // 6 of 16 is 37.5
             EXPECT_EQ(v.health, 83);
             EXPECT_EQ(v.monitoring, QStringLiteral("LIVE"));
             EXPECT_EQ(v.freeDisk, QStringLiteral("100 GB"));  // the GiB figure scaled by 10^9, as the popover does
             EXPECT_FALSE(v.awaitingTelemetry);
         }},
        {"no memory total", [](PerformanceSnapshot& s, auto&) { s.memoryTotal = 0; }, 5, true,
         [](const HUDReadout::Values& v) { EXPECT_EQ(v.memoryPercent, 0); }},
        {"no temperature: the thermal level's name",
         [](PerformanceSnapshot& s, auto&) { s.thermalState = ThermalLevel::serious; }, 5, true,
         [](const HUDReadout::Values& v) {
             EXPECT_EQ(v.temperature, QStringLiteral("Serious"));
             EXPECT_EQ(v.thermalCaps, QStringLiteral("SERIOUS"));
             EXPECT_EQ(v.thermalSymbol, QStringLiteral("thermometer.high"));
         }},
        {"a temperature reading",
         [](PerformanceSnapshot& s, auto&) { s.cpuTempC = 61.4; s.thermalState = ThermalLevel::critical; }, 5, false,
         [](const HUDReadout::Values& v) {
             EXPECT_EQ(v.temperature, QStringLiteral("61°C"));
             EXPECT_EQ(v.thermalCaps, QStringLiteral("CRITICAL"));
             EXPECT_EQ(v.thermalSymbol, QStringLiteral("thermometer.sun.fill"));
             EXPECT_EQ(v.monitoring, QStringLiteral("IDLE"));
         }},
        {"one CPU point awaits telemetry", [](auto&, auto&) {}, 1, true,
         [](const HUDReadout::Values& v) { EXPECT_TRUE(v.awaitingTelemetry); }},
        {"the trace keeps the last 40 points", [](auto&, auto&) {}, 55, true,
         [](const HUDReadout::Values& v) {
             ASSERT_EQ(v.trace.size(), 40);
             EXPECT_DOUBLE_EQ(v.trace.first(), 0.15);
             EXPECT_DOUBLE_EQ(v.trace.last(), 0.54);
         }},
        {"learned state", [](auto&, HUDReadout::LearnedInput& l) {
             l.learningLevel = 0.379;
             l.personality = QStringLiteral("A steady machine");
             l.baselines = 12;
             l.leaks = 1;
             l.anomalies = 3;
         }, 5, true,
         [](const HUDReadout::Values& v) {
             EXPECT_EQ(v.learningPercent, 37);
             EXPECT_EQ(v.personality, QStringLiteral("A steady machine"));
             EXPECT_EQ(v.baselines, 12);
             EXPECT_FALSE(v.topInsight.has_value());
         }},
        {"only the newest insight", [](auto&, HUDReadout::LearnedInput& l) {
             AIInsight newest;
             newest.title = QStringLiteral("Memory leak suspected");
             newest.severity = AIInsight::Severity::critical;
             AIInsight older;
             older.title = QStringLiteral("Older");
             l.insights = {newest, older};
         }, 5, true,
         [](const HUDReadout::Values& v) {
             EXPECT_EQ(v.topInsight, QStringLiteral("\u25B8 Memory leak suspected"));
             EXPECT_EQ(v.topSeverity, AIInsight::Severity::critical);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PerformanceSnapshot s = base;
        HUDReadout::LearnedInput learned;
        c.edit(s, learned);
        c.check(HUDReadout::compute(s, health, history(c.historyPoints), c.monitoring, learned, rig.settings));
    }

    const PaletteTheme& t = PaletteTheme::ember();
    for (const auto& [score, color] : {std::pair{100, t.success}, std::pair{80, t.success}, std::pair{79, t.warning},
                                       std::pair{50, t.warning}, std::pair{49, t.danger}})
        EXPECT_EQ(HUDReadout::healthColor(score, t), color) << score;
    EXPECT_EQ(HUDReadout::learningFillWidth(200, 0), 4);
    EXPECT_EQ(HUDReadout::learningFillWidth(200, 0.5), 100);
    EXPECT_EQ(HUDReadout::optimizeOutcome({QStringLiteral("Freed 1 GB"), QString()}), QStringLiteral("Freed 1 GB"));
    EXPECT_EQ(HUDReadout::optimizeOutcome({QStringLiteral("A"), QStringLiteral("B")}), QStringLiteral("A \u00B7 B"));
}

TEST(HeroDeltaView, StatesFollowTheMetricThresholds)
{
    const auto outcome = [](OutcomeMetric m, double delta) {
        MeasuredOutcome o;
        o.metric = m;
        o.delta = delta;
        return std::optional<MeasuredOutcome>(o);
    };
    using S = HeroDeltaView::State;
    const struct {
        std::optional<MeasuredOutcome> hero;
        S state;
        QString identity;
    } cases[] = {
        {std::nullopt, S::dormant, QStringLiteral("dormant")},
        {outcome(OutcomeMetric::memFreedMB, 150), S::gold, QStringLiteral("gold-+150 MB")},
        {outcome(OutcomeMetric::memFreedMB, 149.9), S::greyFloor, QStringLiteral("grey-floor")},
        {outcome(OutcomeMetric::memPressureDrop, 8), S::gold, QStringLiteral("gold-+8 pts")},
        {outcome(OutcomeMetric::tempDropC, 1.49), S::greyFloor, QStringLiteral("grey-floor")},
        {outcome(OutcomeMetric::diskFreedGB, 0.25), S::gold, QStringLiteral("gold-+0.2 GB")},
        {outcome(OutcomeMetric::cpuDrop, 5), S::gold, QStringLiteral("gold-+5 %")},
        {outcome(OutcomeMetric::cpuDrop, std::nan("")), S::greyFloor, QStringLiteral("grey-floor")},
    };
    for (const auto& c : cases) {
        const std::string trace = c.identity.toStdString();
        EXPECT_EQ(HeroDeltaView::state(c.hero), c.state) << trace;
        EXPECT_EQ(HUDReadout::heroIsSignificant(c.hero), c.state == S::gold) << trace;
        EXPECT_EQ(HeroDeltaView::identity(c.hero), c.identity) << trace;
    }
    EXPECT_EQ(HeroDeltaView::floorTitle(S::dormant), QStringLiteral("AWAITING FIRST"));
    EXPECT_EQ(HeroDeltaView::floorCaption(S::dormant), QStringLiteral("MEASURED OUTCOME"));
    EXPECT_EQ(HeroDeltaView::floorTitle(S::greyFloor), QStringLiteral("\u2014"));
    EXPECT_EQ(HeroDeltaView::floorCaption(S::greyFloor), QStringLiteral("NO MEASURED IMPROVEMENT"));
}

TEST(HeroDeltaView, TrackRecordStatusWordsAndColours)
{
    const PaletteTheme& t = PaletteTheme::ember();
    const auto epitope = [](QString name, EpitopeState state, int outcomes, double rate) {
        Epitope e;
        e.displayName = std::move(name);
        e.state = state;
        for (int i = 0; i < outcomes; ++i) e.outcomes << true;
        e.successRate = rate;
        return e;
    };
    const QList<HeroDeltaView::TrackRow> rows = HeroDeltaView::trackRows(
        {epitope(QStringLiteral("Retired kind"), EpitopeState::retired, 10, 0.9),
         epitope(QStringLiteral("New kind"), EpitopeState::learning, 2, 1.0),
         epitope(QStringLiteral("Reliable"), EpitopeState::reinforced, 6, 1.0),
         epitope(QStringLiteral("Fading"), EpitopeState::decaying, 7, 0.857)},
        t);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].status, QStringLiteral("retired"));
    EXPECT_EQ(rows[0].color, HeroDeltaView::nullGrey());
    EXPECT_EQ(rows[1].status, QStringLiteral("learning\u2026"));
    EXPECT_EQ(rows[1].color, t.mono);
    EXPECT_EQ(rows[2].status, QStringLiteral("100%"));
    EXPECT_EQ(rows[2].color, t.success);
    EXPECT_EQ(rows[3].status, QStringLiteral("85%"));
    EXPECT_EQ(rows[3].color, t.warning);
}

TEST(HeroDeltaView, RevertShowsOnHoverWithinTheWindowAndRunsOnce)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    HeroDeltaView* card = view.hero();
    EXPECT_EQ(card->currentState(), HeroDeltaView::State::dormant);

    r.recordOutcome(OutcomeMetric::memPressureDrop, 12);
    int undos = 0;
    r.shell.armPendingRevert([&undos] { ++undos; });
    EXPECT_EQ(card->currentState(), HeroDeltaView::State::gold);
    EXPECT_FALSE(card->revertButton()->isVisible()) << "only while hovered";
    hover(card);
    ASSERT_TRUE(card->revertButton()->isVisible());

    QTest::mouseClick(card->revertButton(), Qt::LeftButton);
    EXPECT_EQ(undos, 1);
    EXPECT_FALSE(r.library.heroDelta().has_value());
    EXPECT_EQ(card->currentState(), HeroDeltaView::State::dormant);
    EXPECT_FALSE(card->revertButton()->isVisible());
    card->revert();
    EXPECT_EQ(undos, 1);

    // After the 5 s window the button no longer appears.
    r.recordOutcome(OutcomeMetric::memPressureDrop, 12);
    r.shell.armPendingRevert([&undos] { ++undos; });
    r.rig.scheduler.advance(std::chrono::seconds(5));
    hover(card);
    EXPECT_FALSE(card->revertButton()->isVisible());
    EXPECT_EQ(card->currentState(), HeroDeltaView::State::gold);
}

TEST(HeroDeltaView, ThePullTabOpensTheTrackRecord)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    HeroDeltaView* card = view.hero();
    QTest::mouseClick(card->pullTab(), Qt::LeftButton);
    ASSERT_NE(card->trackRecord(), nullptr);
    EXPECT_TRUE(card->trackRecord()->isVisible());
    EXPECT_TRUE(card->trackRecord()->grab().toImage().save(shotPath(QStringLiteral("hud_track_record_empty"))));
    card->toggleTrackRecord();
    ASSERT_TRUE(QTest::qWaitFor([&] { return card->trackRecord() == nullptr; }, 2000));
}

TEST(HeroDeltaView, ScreenshotsOfTheThreeStates)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    HeroDeltaView* card = view.hero();
    MeasuredOutcome gold;
    gold.metric = OutcomeMetric::memFreedMB;
    gold.delta = 412;
    gold.before = 9.6;
    gold.after = 9.2;
    MeasuredOutcome grey = gold;
    grey.delta = 40;
    const struct {
        const char* name;
        std::optional<MeasuredOutcome> hero;
    } states[] = {{"hud_hero_dormant", std::nullopt}, {"hud_hero_grey", grey}, {"hud_hero_gold", gold}};
    for (const auto& s : states) {
        card->pinOutcome(s.hero);
        QTest::qWait(700);  // the content's transition and the floor's rise
        const QImage shot = view.grab(card->geometry()).toImage();
        EXPECT_TRUE(shot.save(shotPath(QString::fromLatin1(s.name)))) << s.name;
        // Something was drawn beyond the background.
        bool varied = false;
        for (int y = 0; y < shot.height() && !varied; y += 2)
            for (int x = 0; x < shot.width() && !varied; x += 2) varied = shot.pixel(x, y) != shot.pixel(0, 0);
        EXPECT_TRUE(varied) << s.name;
    }
}

TEST(HUDWidgetView, TheReadoutDimsWhileTheHeroShowsARealImprovement)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    EXPECT_NEAR(view.readoutOpacity(), 0.88, 1e-9);
    r.recordOutcome(OutcomeMetric::memPressureDrop, 12);
    EXPECT_TRUE(view.heroIsLive());
    EXPECT_NEAR(view.readoutOpacity(), 0.88, 0.05) << "animated, not at once";
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(view.readoutOpacity() - 0.45) < 1e-9; }, 3000));
    r.library.clearHeroDelta();
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(view.readoutOpacity() - 0.88) < 1e-9; }, 3000));
}

namespace {

// Counts the paint events of a widget and its descendants, with the area each covered in the
// top widget's coordinates.
struct PaintWatch : QObject {
    QWidget* top;
    QList<QRect> areas;
    explicit PaintWatch(QWidget* t) : top(t)
    {
        top->installEventFilter(this);
        for (QWidget* w : top->findChildren<QWidget*>()) w->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            auto* w = static_cast<QWidget*>(o);
            const QRect r = static_cast<QPaintEvent*>(e)->rect();
            areas << QRect(w->mapTo(top, r.topLeft()), r.size());
        }
        return false;
    }
};

}  // namespace

TEST(HUDWidgetView, ASampleRedrawsOnlyWhatChangedAndAHiddenPanelCatchesUpWhenShown)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    PerformanceSnapshot snap = r.rig.monitor.currentSnapshot();
    snap.cpuUsage = 40;
    r.rig.monitor.setCurrentSnapshot(snap);
    const auto gauges = view.findChildren<HexGauge*>();
    ASSERT_EQ(gauges.size(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !gauges[0]->isAnimating() && !gauges[1]->isAnimating(); }, 5000));
    QTest::qWait(50);

    // The same figures again: nothing outside the breathing hero card is drawn.
    PaintWatch watch(&view);
    r.rig.monitor.setCurrentSnapshot(snap);
    QTest::qWait(300);
    const QRect hero = view.hero()->geometry();
    for (const QRect& area : watch.areas) EXPECT_TRUE(hero.contains(area)) << area.x() << "," << area.y() << " " << area.width() << "x" << area.height();

    // Published while hidden, shown when it is shown.
    view.hide();
    snap.cpuUsage = 77;
    r.rig.monitor.setCurrentSnapshot(snap);
    view.show();
    EXPECT_EQ(gauges[0]->label(), QStringLiteral("77%"));
    EXPECT_TRUE(view.readoutText().contains(QStringLiteral("CPU 77%")));
}

TEST(HeroDeltaView, TheFloorBreathesAFewTimesASecondOverItsTextsAlone)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    HeroDeltaView* card = view.hero();
    QTest::qWait(1000);  // risen in; breathing from here on
    struct Count : QObject {
        QList<QRect> rects;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) rects << static_cast<QPaintEvent*>(e)->rect();
            return false;
        }
    } count, under;
    card->installEventFilter(&count);
    view.installEventFilter(&under);
    QTest::qWait(2000);
    // Three frames a second at most, still breathing, and each over the texts, not the card.
    EXPECT_GE(count.rects.size(), 2);
    EXPECT_LE(count.rects.size(), 8);
    for (const QRect& rect : count.rects) {
        EXPECT_LT(rect.height(), card->height()) << "the whole card was redrawn";
        EXPECT_TRUE(card->rect().contains(rect));
    }
    // The card draws the panel under itself: the panel is not redrawn for its frames, and what
    // the card put there continues the panel around it (the rows just above the card, in the
    // same phase of the scan lines, differ by the panel's faint gradient and texture alone).
    EXPECT_TRUE(under.rects.isEmpty()) << under.rects.size() << " panel redraws";
    const QImage shot = view.grab().toImage();
    const QRect at = card->geometry();
    for (int x = at.left() + 2; x < at.right() - 20; x += 7) {
        const QRgb inside = shot.pixel(x, at.top() + 1), outside = shot.pixel(x, at.top() - 3);
        EXPECT_LE(std::abs(qRed(inside) - qRed(outside)) + std::abs(qGreen(inside) - qGreen(outside)) +
                      std::abs(qBlue(inside) - qBlue(outside)),
                  12)
            << "at x " << x;
    }
}

TEST(HUDWidgetView, OptimizeNowRunsBothActionsThroughTheGateUnmeasured)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    QTest::mouseClick(view.optimizeButton(), Qt::LeftButton);
    EXPECT_TRUE(view.optimizeButton()->isBusy());
    EXPECT_EQ(view.optimizeButton()->title(), QStringLiteral("Optimizing\u2026"));
    r.rig.scheduler.advance(std::chrono::milliseconds(50));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.optimizeButton()->isBusy(); }, 3000));
    EXPECT_EQ(r.calls, (QStringList{QStringLiteral("clean"), QStringLiteral("relieve")}));
    EXPECT_EQ(view.outcomeLine()->text(), QStringLiteral("Freed 1.2 GB \u00B7 Relieved"));
    EXPECT_TRUE(view.outcomeLine()->isVisible());
    ASSERT_EQ(r.rig.gate.ledger().size(), 2);
    for (const GateLedgerEntry& e : r.rig.gate.ledger()) EXPECT_FALSE(e.metricLabel.has_value()) << e.title.toStdString();
    EXPECT_FALSE(r.library.epitope(QStringLiteral("clean-caches")).has_value());
    // Both are in History, as the user's own actions.
    const QList<ActionRecord>& history = r.rig.monitor.actionHistory();
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].action, ActionType::memoryFreed);
    EXPECT_EQ(history[1].action, ActionType::cacheCleared);
    EXPECT_EQ(history[1].target, QStringLiteral("Clean caches & junk"));
    EXPECT_EQ(history[1].detail, QStringLiteral("Freed 1.2 GB"));
    EXPECT_FALSE(history[0].wasAutomatic || history[1].wasAutomatic);
}

TEST(HUDWidgetView, TheHUDAndTheAIInsightsCardShowOneLeakCount)
{
    // Both built, not painted: what is compared is what each reads and the words it shows.
    HUDRig r;
    HUDWidgetView hud(r.deps());
    DetailedView dashboard(r.rig.env());
    dashboard.selectTab(DashboardTab::aiInsights);
    auto* tab = dashboard.findChild<AIInsightsTab*>();
    ASSERT_TRUE(tab);
    const MemoryLeak xvfb{.processName = QStringLiteral("Xvfb"), .pid = 41, .currentMemoryMB = 900,
                          .growthRateMBPerHour = 80, .confidence = 0.9};
    const struct {
        qsizetype leaks;
        QString text;
    } cases[] = {{1, QStringLiteral("1 leak")}, {2, QStringLiteral("2 leaks")}, {0, QStringLiteral("0 leaks")}};
    for (const auto& c : cases) {
        r.rig.ai.setDetectedLeaks(QList<MemoryLeak>(c.leaks, xvfb));
        dashboard_rig::settle();
        EXPECT_EQ(tab->statTexts().value(2), c.text);
        EXPECT_TRUE(hud.readoutText().contains(c.text + QLatin1Char(' '))) << hud.readoutText().toStdString();
    }
}

TEST(HUDWidgetView, TheMiniChatShowsTheLastThreeLinesAndKeepsABlankDraft)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    QTest::keyClicks(view.chatField(), QStringLiteral("   "));
    EXPECT_FALSE(view.sendButton()->isEnabled());
    QTest::keyClick(view.chatField(), Qt::Key_Return);
    EXPECT_EQ(view.chatField()->text(), QStringLiteral("   "));
    EXPECT_TRUE(view.chat().transcript().isEmpty());

    view.chatField()->clear();
    QTest::keyClicks(view.chatField(), QStringLiteral("hi"));
    EXPECT_TRUE(view.sendButton()->isEnabled());
    QTest::mouseClick(view.sendButton(), Qt::LeftButton);
    EXPECT_TRUE(view.chatField()->text().isEmpty());
    QTest::keyClicks(view.chatField(), QStringLiteral("stop chrome"));
    QTest::keyClick(view.chatField(), Qt::Key_Return);
    const QStringList lines = view.visibleChatLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Tavrilon here.")));
    EXPECT_EQ(lines[1], QStringLiteral("\u203A stop chrome"));
    EXPECT_TRUE(view.chat().transcript().last().isGateNotice);
    EXPECT_EQ(view.chat().transcript().size(), 4);
}

TEST(HUDWidgetView, HeaderButtonsAndTheDashboardFallback)
{
    HUDRig r;
    HUDWidgetView& view = r.show();
    QTest::mouseClick(view.closeButton(), Qt::LeftButton);
    QTest::mouseClick(view.settingsButton(), Qt::LeftButton);
    // No dashboard window exists: the HUD opens one.
    QTest::mouseClick(view.dashboardButton(), Qt::LeftButton);
    EXPECT_EQ(r.calls, (QStringList{QStringLiteral("close"), QStringLiteral("openSettings"), QStringLiteral("openDashboard")}));

    // An open dashboard window is matched by its title and fronted instead.
    QWidget dashboard;
    dashboard.setWindowTitle(QStringLiteral("Veltranmoor AI \u2014 Dashboard"));
    dashboard.show();
    r.calls.clear();
    QTest::mouseClick(view.dashboardButton(), Qt::LeftButton);
    EXPECT_TRUE(r.calls.isEmpty());
    EXPECT_TRUE(HUDWidgetView::frontDashboardWindow());
}

TEST(HUDWidgetView, ScreenshotOfThePanelWithLiveFigures)
{
    HUDRig r;
    for (int i = 0; i < 12; ++i) r.rig.publishSample(20 + (i * 7) % 40, 55, 86);
    AIInsight insight;
    insight.title = QStringLiteral("Disk will be full in 12 days");
    insight.severity = AIInsight::Severity::warning;
    r.rig.ai.setInsights({insight});
    r.rig.ai.setSystemPersonality(QStringLiteral("Busy developer workstation"));
    HUDWidgetView& view = r.show();
    view.chat().submit(QStringLiteral("hi"));
    dashboard_rig::settle();
    QTest::qWait(900);  // the gauges' spring
    EXPECT_EQ(view.sizeHint().width(), HUDWidgetView::width);
    const QString text = view.readoutText();
    EXPECT_TRUE(text.contains(QStringLiteral("\u25B8 Disk will be full in 12 days")));
    EXPECT_TRUE(view.grab().toImage().save(shotPath(QStringLiteral("hud_panel"))));
}
