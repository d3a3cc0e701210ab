// The dashboard's widgets over real managers whose published state the tests set: tab
// switching, what the sidebar and the Overview follow, the charts, palettes, and the window.
#include "DashboardRig.h"
#include "assistant/TavrilonChatController.h"
#include "ui/chat/MessageRow.h"
#include "ui/chat/TavrilonChatView.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/HealthRing.h"
#include "ui/dashboard/HistoryChartCard.h"
#include "ui/dashboard/IconTextRow.h"
#include "ui/dashboard/LinearGauge.h"
#include "ui/dashboard/OverviewModel.h"
#include "ui/dashboard/OverviewTab.h"
#include "ui/dashboard/ProfileLabelView.h"
#include "ui/dashboard/ScoreBar.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/dashboard/SidebarButton.h"
#include "ui/dashboard/StatusCards.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/VRAXConnectedBadge.h"
#include "ui/theme/ColorHex.h"
#include "ui/WindowFit.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QChartView>
#include <QElapsedTimer>
#include <QtMath>
#include <QHash>
#include <QScreen>
#include <QTest>

using namespace dashboard_rig;

namespace {

class Dashboard : public ::testing::Test {
protected:
    Rig rig;
    DetailedView view{rig.env()};

    void SetUp() override
    {
        view.resize(DetailedView::defaultWindowSize);
        // On screen, as users see it: a window that cannot be seen does no drawing work.
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        settle();
        // Showing applies the stored palette; the tests start from a known one.
        rig.themes.setCurrent(PaletteTheme::ember());
        settle();
    }

    OverviewTab* overview() const { return view.findChild<OverviewTab*>(); }
    int tabViewCount() const
    {
        int n = 0;
        for (QWidget* w : view.findChildren<QWidget*>())
            if (w->property("dashboardTab").isValid()) ++n;
        return n;
    }
    QImage shot()
    {
        settle();
        return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

template <typename Pred>
bool waitFor(Pred pred, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

bool near(QRgb a, const QColor& b, int tolerance)
{
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
           std::abs(qBlue(a) - b.blue()) <= tolerance;
}

// Some pixel at least `minAlpha` opaque has this colour (drawn on a transparent canvas, a
// translucent stroke keeps its own colour).
bool uses(const QImage& img, const QColor& color, int tolerance, int minAlpha)
{
    const QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(a.pixel(x, y)) >= minAlpha && near(a.pixel(x, y), color, tolerance)) return true;
    return false;
}

}  // namespace

TEST_F(Dashboard, OpensOnOverviewAndAClickSwitchesTheOneTabView)
{
    EXPECT_EQ(view.selectedTab(), DashboardTab::overview);
    ASSERT_TRUE(overview());
    for (SidebarButton* b : view.sidebar()->buttons()) EXPECT_EQ(b->isSelected(), b->label() == "Overview");
    EXPECT_EQ(tabViewCount(), 1);

    for (DashboardTab tab : {DashboardTab::processes, DashboardTab::settings, DashboardTab::tavrilon,
                             DashboardTab::overview, DashboardTab::history}) {
        SCOPED_TRACE(DashboardTabs::rawValue(tab).toStdString());
        QPointer<QWidget> before = view.tabView();
        QTest::mouseClick(view.sidebar()->button(tab), Qt::LeftButton);
        EXPECT_EQ(view.selectedTab(), tab);
        EXPECT_TRUE(before.isNull()) << "the previous tab's view is gone";
        EXPECT_EQ(tabViewCount(), 1);
        EXPECT_EQ(view.tabView()->property("dashboardTab").toString(), DashboardTabs::rawValue(tab));
        for (SidebarButton* b : view.sidebar()->buttons()) EXPECT_EQ(b->isSelected(), b->label() == DashboardTabs::rawValue(tab));
    }

    // The selected tab's button again: the same view stays.
    QPointer<QWidget> current = view.tabView();
    QTest::mouseClick(view.sidebar()->button(DashboardTab::history), Qt::LeftButton);
    EXPECT_EQ(view.tabView(), current.data());
}

TEST_F(Dashboard, EachVisitToTavrilonShowsTheSameConversation)
{
    view.selectTab(DashboardTab::tavrilon);
    auto* chat = qobject_cast<TavrilonChatView*>(view.tabView());
    ASSERT_TRUE(chat);
    ASSERT_EQ(chat->rows().size(), 1);
    EXPECT_EQ(chat->rows().first()->bubble()->text(), TavrilonChatController::welcomeText());
    chat->input()->setText(QStringLiteral("hi"));
    chat->sendInput();
    const qsizetype rows = chat->rows().size();
    ASSERT_GT(rows, 1);
    view.selectTab(DashboardTab::overview);
    view.selectTab(DashboardTab::tavrilon);
    chat = qobject_cast<TavrilonChatView*>(view.tabView());
    ASSERT_TRUE(chat);
    EXPECT_EQ(chat->rows().size(), rows);
    EXPECT_EQ(chat->rows().at(1)->bubble()->text(), QStringLiteral("hi"));
    EXPECT_EQ(&chat->controller(), &rig.chat) << "the application's conversation, not one of the view's own";
}

TEST_F(Dashboard, SidebarFollowsWhatTheManagersPublish)
{
    Sidebar* bar = view.sidebar();
    for (SidebarButton* b : bar->buttons()) EXPECT_FALSE(b->showsBadge());
    rig.ai.setInsights(QList<AIInsight>(7));
    for (SidebarButton* b : bar->buttons()) EXPECT_EQ(b->badge(), b->label() == "AI Insights" ? 7 : 0);

    EXPECT_EQ(bar->monitoringRow()->text(), QStringLiteral("Paused"));
    EXPECT_EQ(bar->actionsRow()->text(), QStringLiteral("Actions: 0"));
    EXPECT_EQ(bar->personalityRow()->text(), QStringLiteral("AI: Learning..."));
    rig.monitor.logAction(ActionRecord{.action = ActionType::systemCheck, .target = QStringLiteral("x")});
    EXPECT_EQ(bar->actionsRow()->text(), QStringLiteral("Actions: 1"));
    rig.ai.setSystemPersonality(QString(200, QChar('W')));
    settle();
    EXPECT_LE(bar->personalityRow()->width(), 200) << "a long personality stays on one line within the sidebar";

    EXPECT_TRUE(bar->vraxBadge()->isHidden());
    rig.settings.setVraxIntegrationEnabled(true);
    EXPECT_FALSE(bar->vraxBadge()->isHidden());

    EXPECT_EQ(bar->profilePill()->style().name, QStringLiteral("Balanced"));
    EXPECT_EQ(bar->profilePill()->style().color, colorFromHex(u"#d4a843"));
    rig.profiles.switchProfile(PerformanceMode::gaming);
    EXPECT_EQ(bar->profilePill()->style().name, QStringLiteral("Gaming"));
    EXPECT_EQ(bar->profilePill()->style().symbol, QStringLiteral("gamecontroller.fill"));
    settle();
    EXPECT_EQ(overview()->profileLabel()->style().name, QStringLiteral("Gaming"));
}

TEST_F(Dashboard, KeyboardFocusLooksUnlikeTheSelectionAndEnterOpensTheEntry)
{
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    SidebarButton* history = view.sidebar()->button(DashboardTab::history);
    EXPECT_EQ(history->focusPolicy(), Qt::TabFocus);
    const QColor accent = PaletteTheme::ember().accent;
    const QImage plain = history->grab().toImage();
    EXPECT_FALSE(uses(plain, accent, 24, 200)) << "an unselected button without focus has no accent";

    history->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(history->hasFocus());
    const QImage focused = history->grab().toImage();
    // A ring, light and dashed, with neither the selection's accent nor its tint.
    EXPECT_NE(focused, plain);
    EXPECT_TRUE(uses(focused, QColor(Qt::white), 40, 150));
    EXPECT_FALSE(uses(focused, accent, 24, 90));
    const QPoint inside(6, focused.height() / 2);
    EXPECT_EQ(focused.pixel(inside), plain.pixel(inside)) << "no fill";

    // Return, and the keypad's Enter, open the focused entry.
    QTest::keyClick(history, Qt::Key_Return);
    EXPECT_EQ(view.selectedTab(), DashboardTab::history);
    SidebarButton* battery = view.sidebar()->button(DashboardTab::battery);
    battery->setFocus(Qt::TabFocusReason);
    QTest::keyClick(battery, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(view.selectedTab(), DashboardTab::battery);
    // Only the selected one reads as selected, whichever has the focus.
    for (SidebarButton* b : view.sidebar()->buttons()) EXPECT_EQ(b->isSelected(), b == battery);
}

TEST_F(Dashboard, RingArcTakesTheScoresBandColour)
{
    const PaletteTheme& abyss = *PaletteTheme::find(QStringLiteral("abyss"));
    rig.themes.setCurrent(abyss);
    HealthRing* ring = overview()->healthRing();
    const struct {
        int64_t score;
        QColor arc;
    } rows[] = {{100, abyss.accent}, {80, abyss.accent}, {79, abyss.warning}, {50, abyss.warning}, {49, abyss.danger},
                {24, abyss.danger}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.score);
        HealthScore h = rig.monitor.currentHealth();
        h.score = r.score;
        rig.monitor.setCurrentHealth(h);
        settle();
        EXPECT_EQ(ring->score(), r.score);
        ring->hide();  // hidden, a new score is drawn at once
        ring->setScore(r.score);
        QImage img(HealthRing::side, HealthRing::side, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        ring->render(&img, {}, {}, QWidget::RenderFlags());
        for (const QColor& band : {abyss.accent, abyss.warning, abyss.danger})
            EXPECT_EQ(uses(img, band, 30, 120), band == r.arc) << band.name().toStdString();
    }
    HealthScore zero = rig.monitor.currentHealth();
    zero.score = 0;
    rig.monitor.setCurrentHealth(zero);
    settle();
    EXPECT_EQ(ring->shownFraction(), 0);
}

TEST_F(Dashboard, AFullRingEndsInItsFullColourNotPale)
{
    const PaletteTheme& abyss = *PaletteTheme::find(QStringLiteral("abyss"));
    rig.themes.setCurrent(abyss);
    HealthRing* ring = overview()->healthRing();
    ring->hide();  // hidden, a new score is drawn at once
    ring->setScore(100);
    QImage img(HealthRing::side, HealthRing::side, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    ring->render(&img, {}, {}, QWidget::RenderFlags());
    const QImage a = img.convertToFormat(QImage::Format_ARGB32);
    // On the arc's middle line, `degrees` counter-clockwise from 3 o'clock.
    const auto alphaAt = [&](double degrees) {
        const double r = (HealthRing::side - HealthRing::lineWidth) / 2, c = HealthRing::side / 2.0;
        const double t = qDegreesToRadians(degrees);
        return qAlpha(a.pixel(int(c + r * std::cos(t)), int(c - r * std::sin(t))));
    };
    // The arc starts pale just right of 12 o'clock and runs clockwise round to just left of it,
    // where the last few percent stay in the full colour.
    EXPECT_LT(alphaAt(75), 160) << "the start is pale";
    for (double degrees : {100.0, 105.0, 110.0, 120.0})
        EXPECT_GT(alphaAt(degrees), 220) << degrees << " degrees: the end of a full ring";
}

TEST_F(Dashboard, ScoreBarsAndCardsShowTheSnapshot)
{
    HealthScore h = rig.monitor.currentHealth();
    h.cpuScore = 0;
    h.memoryScore = 50;
    h.diskScore = 100;
    rig.monitor.setCurrentHealth(h);
    settle();
    const auto& bars = overview()->scoreBars();
    EXPECT_EQ(bars[0]->score(), 0);
    EXPECT_EQ(bars[1]->score(), 50);
    EXPECT_EQ(bars[1]->color(), rig.themes.current().metricMemory);

    // Before the first sample: the monitor's placeholder.
    EXPECT_EQ(overview()->diskCard()->freeLine()->text(), QStringLiteral("465.7 GB free"));
    EXPECT_EQ(overview()->thermalCard()->temperature()->text(), QStringLiteral("—"));
    EXPECT_TRUE(overview()->thermalCard()->gauge()->isHidden());
    EXPECT_FALSE(overview()->topProcessCard()->noData()->isHidden());
    EXPECT_TRUE(overview()->topProcessCard()->name()->isHidden());
    EXPECT_EQ(overview()->networkCard()->connections()->text(), QStringLiteral("0"));

    PerformanceSnapshot s = rig.monitor.currentSnapshot();
    s.cpuTempC = 62;
    rig.monitor.setCurrentSnapshot(s);
    rig.network.publish(NetworkMonitor::Measurement{.rateIn = 1500, .connections = 3, .timestamp = rig.clock.now()});
    settle();
    EXPECT_FALSE(overview()->thermalCard()->gauge()->isHidden());
    EXPECT_EQ(overview()->networkCard()->inRate()->text(), QStringLiteral("1.5 KB/s"));
    rig.settings.setDataRateUnitRaw(QStringLiteral("bits"));
    settle();
    EXPECT_EQ(overview()->networkCard()->inRate()->text(), QStringLiteral("12.0 Kbps"));

    EXPECT_TRUE(overview()->memoryLeakBanner()->isHidden());
    EXPECT_TRUE(overview()->diskFullBanner()->isHidden());
    rig.ai.setDetectedLeaks(QList<MemoryLeak>(2));
    rig.ai.setPredictedDiskFullDate(rig.clock.now().addDays(30));
    settle();
    EXPECT_EQ(overview()->memoryLeakBanner()->text(), QStringLiteral("2 Memory Leaks"));
    EXPECT_FALSE(overview()->diskFullBanner()->isHidden());
}

TEST_F(Dashboard, ChartsAppearFromTwoPointsAndPlotTheNewestSixty)
{
    HistoryChartCard* cpu = overview()->cpuChart();
    EXPECT_FALSE(cpu->showsChart());
    rig.publishSample(10, 40);
    settle();
    EXPECT_FALSE(cpu->showsChart());
    rig.publishSample(20, 41);
    settle();
    EXPECT_TRUE(cpu->showsChart());
    EXPECT_TRUE(overview()->memoryChart()->showsChart());
    EXPECT_EQ(cpu->plottedPointCount(), 2);

    for (int i = 0; i < 68; ++i) rig.publishSample(i, 50);
    settle();
    ASSERT_EQ(rig.monitor.cpuHistory().size(), 70);
    EXPECT_EQ(cpu->plottedPointCount(), 60);
    EXPECT_EQ(cpu->plottedPoints().first().x(), double(rig.monitor.cpuHistory()[10].timestamp.toMSecsSinceEpoch()));
    EXPECT_EQ(cpu->plottedPoints().last().y(), 67);
    EXPECT_EQ(cpu->valueText(), QStringLiteral("67%"));
}

TEST_F(Dashboard, APaletteChangeRedrawsTheContentButNotTheSidebar)
{
    const QColor sidebar = colorFromHex(Sidebar::backgroundHex);
    const QImage before = shot();
    EXPECT_TRUE(near(before.pixel(3, 400), sidebar, 2));
    EXPECT_TRUE(near(before.pixel(210, 8), PaletteTheme::ember().background, 2));
    const QPoint selectedButton = view.sidebar()->button(DashboardTab::overview)->geometry().center() + QPoint(0, 0);
    const QRgb tintBefore = before.pixel(selectedButton.x() + 60, selectedButton.y());

    rig.themes.setCurrent(PaletteTheme::hud());
    const QImage after = shot();
    EXPECT_TRUE(near(after.pixel(3, 400), sidebar, 2));
    EXPECT_TRUE(near(after.pixel(210, 8), PaletteTheme::hud().background, 2));
    EXPECT_NE(after.pixel(selectedButton.x() + 60, selectedButton.y()), tintBefore) << "the selected tint follows the accent";
    for (SidebarButton* b : view.sidebar()->buttons()) EXPECT_EQ(b->accentColor(), PaletteTheme::hud().accent);
}

namespace {

// Paint events per widget, and the timers still armed under a widget.
struct PaintCounter : QObject {
    QHash<const QObject*, int> paints;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints[watched];
        return false;
    }
    int of(const QObject* o) const { return paints.value(o); }
};

}  // namespace

TEST_F(Dashboard, AScoreChangeDrawsOnlyTheFramesThatShowAndThenNothingRuns)
{
    rig.publishSample(10, 40, 80);
    rig.publishSample(11, 40, 80);
    settle();
    HealthRing* ring = overview()->healthRing();
    ASSERT_TRUE(waitFor([&] { return !ring->isAnimating(); }));
    ASSERT_DOUBLE_EQ(ring->shownFraction(), OverviewModel::ringFraction(80));
    PaintCounter counter;
    ring->installEventFilter(&counter);

    // One point more: the arc moves about 3.5 pixels, over the full second of the glide.
    QElapsedTimer clock;
    clock.start();
    rig.publishSample(12, 40, 81);
    settle();
    ASSERT_TRUE(ring->isAnimating());
    ASSERT_TRUE(waitFor([&] { return !ring->isAnimating(); }));
    EXPECT_GE(clock.elapsed(), 950);
    EXPECT_DOUBLE_EQ(ring->shownFraction(), OverviewModel::ringFraction(81));
    EXPECT_GE(counter.of(ring), 2);
    EXPECT_LE(counter.of(ring), 8) << "a 60 Hz animation would draw about 60 frames";

    // Settled: nothing is drawn and no frame timer is left running.
    counter.paints.clear();
    QTest::qWait(300);
    EXPECT_EQ(counter.of(ring), 0);
}

TEST_F(Dashboard, ChartsRedrawForANewSampleOnlyAndNotWhileTheWindowIsHidden)
{
    rig.publishSample(10, 40);
    rig.publishSample(20, 41);
    settle();
    QTest::qWait(50);
    HistoryChartCard* cpu = overview()->cpuChart();
    ASSERT_TRUE(cpu->showsChart());
    PaintCounter counter;
    QWidget* plot = cpu->chartView()->viewport();
    plot->installEventFilter(&counter);

    // Values that are not samples (a network reading, the AI engine, a setting) leave the chart alone.
    rig.network.publish(NetworkMonitor::Measurement{.rateIn = 1500, .connections = 3, .timestamp = rig.clock.now()});
    rig.ai.setSystemPersonality(QStringLiteral("Calm"));
    rig.settings.setDataRateUnitRaw(QStringLiteral("bits"));
    settle();
    QTest::qWait(100);
    EXPECT_EQ(counter.of(plot), 0);

    rig.publishSample(30, 42);
    settle();
    QTest::qWait(100);
    EXPECT_EQ(counter.of(plot), 1);
    EXPECT_EQ(cpu->plottedPointCount(), 3);

    // Hidden: samples arrive, nothing is worked out or drawn; shown again, the tab catches up once.
    view.hide();
    counter.paints.clear();
    rig.publishSample(40, 43);
    rig.publishSample(50, 44);
    settle();
    EXPECT_EQ(cpu->plottedPointCount(), 3);
    EXPECT_EQ(counter.of(plot), 0);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    settle();
    QTest::qWait(100);
    EXPECT_EQ(cpu->plottedPointCount(), 5);
    EXPECT_EQ(cpu->valueText(), QStringLiteral("50%"));
}

TEST_F(Dashboard, AChartLineFadesInAcrossThePlotNotAcrossEachSegment)
{
    for (int i = 0; i < 60; ++i) rig.publishSample(50, 50);
    settle();
    HistoryChartCard* cpu = overview()->cpuChart();
    ASSERT_TRUE(cpu->showsChart());
    const QImage plot = cpu->chartView()->viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    // The flat line's strongest pixel in each column, averaged over a stretch of columns.
    const auto strength = [&](double from, double to) {
        double sum = 0;
        int n = 0;
        for (int x = int(plot.width() * from); x < int(plot.width() * to); ++x, ++n) {
            int best = 0;
            for (int y = 0; y < plot.height(); ++y) best = std::max(best, qAlpha(plot.pixel(x, y)));
            sum += best;
        }
        return n ? sum / n : 0.0;
    };
    const double leading = strength(0.10, 0.25), trailing = strength(0.85, 0.98);
    EXPECT_GT(trailing, 235);
    EXPECT_LT(leading, trailing - 30) << "60 % opacity at the leading side, full at the trailing side";
}

TEST(DashboardWindow, OpensByAddressClosesWithoutQuittingAndReopensOnOverview)
{
    Rig rig;
    DashboardWindowController windows(rig.env());
    EXPECT_FALSE(windows.window());
    EXPECT_FALSE(windows.handleRequest(QStringLiteral("veltranmoor://settings")));
    EXPECT_FALSE(windows.window());
    EXPECT_TRUE(windows.handleRequest(QStringLiteral("veltranmoor://dashboard")));
    QPointer<DetailedView> first = windows.window();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Dashboard — Veltranmoor AI"));
    EXPECT_EQ(first->objectName(), QStringLiteral("detailed-dashboard"));
    // Its usual size and minimum, each cut to what the screen leaves.
    const QSize room = WindowFit::contentLimit(first->screen()->availableGeometry(), WindowFit::assumedFrame);
    EXPECT_EQ(first->size(), QSize(1100, 750).boundedTo(room));
    EXPECT_EQ(first->minimumSize(), QSize(1000, 700).boundedTo(room));

    first->selectTab(DashboardTab::network);
    EXPECT_TRUE(windows.handleRequest(QString()));  // a plain second start
    EXPECT_EQ(windows.window(), first.data());

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_FALSE(windows.window());

    windows.open();
    ASSERT_TRUE(windows.window());
    EXPECT_EQ(windows.window()->selectedTab(), DashboardTab::overview);
}

TEST(DashboardWindow, OnlyTheDashboardAddressOpensIt)
{
    for (const char* yes : {"veltranmoor://dashboard", "VELTRANMOOR://Dashboard", "veltranmoor://dashboard/",
                            " veltranmoor://dashboard\n"})
        EXPECT_TRUE(DashboardWindowController::isDashboardURL(QString::fromUtf8(yes))) << yes;
    for (const char* no : {"", "veltranmoor://", "veltranmoor://settings", "veltranmoor://dashboard/x",
                           "veltranmoor://dashboard?x=1", "http://dashboard", "veltranmoor:dashboard",
                           "veltranmoor://user@dashboard", "veltranmoor://dashboard:80"})
        EXPECT_FALSE(DashboardWindowController::isDashboardURL(QString::fromUtf8(no))) << no;
}
