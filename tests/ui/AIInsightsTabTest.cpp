// The AI Insights tab over a real engine: the learning state, then the findings of a recorded
// stream; the sidebar badge counts the insights. Screenshots go to build/screenshots/.
#include "DashboardRig.h"
#include "ui/dashboard/AIInsightsModel.h"
#include "ui/dashboard/AIInsightsTab.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/dashboard/SidebarButton.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

using namespace dashboard_rig;
using namespace std::chrono_literals;

namespace {

QString screenshotPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
    return QDir(QStringLiteral(VELTRANMOOR_SCREENSHOTS)).filePath(name);
}

// Half an hour of a busy machine, one sample a minute: a node process leaking ~300 MB/h, a
// steady editor, memory pressure climbing towards 90 %, a warming CPU.
void feedRecordedStream(Rig& rig)
{
    for (int i = 0; i < 36; ++i) {
        PerformanceSnapshot s;
        s.cpuUsage = 35 + (i % 5) * 3;
        s.memoryUsed = 13.5 + i * 0.02;
        s.memoryTotal = 16;
        s.memoryPressure = 62 + i * 0.45;
        s.diskUsed = 400'000'000'000ULL + uint64_t(i) * 4'000'000'000ULL;
        s.diskTotal = 500'000'000'000ULL;
        s.cpuTempC = 70 + i * 0.5;
        s.topProcesses = {ProcessInfoItem{.pid = 812, .name = QStringLiteral("node"), .cpuUsage = 12, .memoryMB = 420.0 + i * 5},
                          ProcessInfoItem{.pid = 900, .name = QStringLiteral("codium"), .cpuUsage = 6, .memoryMB = 610},
                          ProcessInfoItem{.pid = 950, .name = QStringLiteral("firefox-esr"), .cpuUsage = 9, .memoryMB = 1200}};
        rig.ai.submitSnapshot(s, s.topProcesses);
        rig.clock.advance(60s);
    }
    rig.ai.waitForQueue();
    settle();
}

}  // namespace

TEST(AIInsightsModel, TextsAndStyles)
{
    const MemoryLeak leak{.processName = QStringLiteral("node"), .pid = 812, .startMemoryMB = 420.2,
                          .currentMemoryMB = 960, .growthRateMBPerHour = 74.6, .confidence = 0.874};
    EXPECT_EQ(AIInsightsModel::leakLine(leak), QStringLiteral("PID 812 | 420 MB \u2192 960 MB | +75 MB/hr"));
    EXPECT_EQ(AIInsightsModel::confidenceText(0.874), QStringLiteral("87%"));
    const auto stats = AIInsightsModel::decisionEngineStats({.baselines = 3, .anomalies = 0, .leaks = 1});
    EXPECT_EQ(stats[0].text, QStringLiteral("3 baselines"));
    EXPECT_EQ(stats[1].text, QStringLiteral("0 anomalies"));
    EXPECT_EQ(stats[1].color, NamedColor::gray);
    EXPECT_EQ(stats[2].text, QStringLiteral("1 leak"));
    EXPECT_EQ(stats[2].color, NamedColor::red);
    const auto more = AIInsightsModel::decisionEngineStats({.baselines = 1, .anomalies = 1, .leaks = 2});
    EXPECT_EQ(more[0].text, QStringLiteral("1 baseline"));
    EXPECT_EQ(more[1].text, QStringLiteral("1 anomaly"));
    EXPECT_EQ(more[1].color, NamedColor::orange);
    EXPECT_EQ(more[2].text, QStringLiteral("2 leaks"));
    const auto rec = AIInsightsModel::typeStyle(AIInsight::InsightType::recommendation);
    EXPECT_EQ(rec.symbol, QStringLiteral("lightbulb.fill"));
    EXPECT_EQ(rec.color, QColor(0xd4, 0xa8, 0x43));
    EXPECT_EQ(AIInsightsModel::severityStyle(AIInsight::Severity::critical).symbol, QStringLiteral("xmark.octagon.fill"));
    const QDateTime t0(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc());
    EXPECT_EQ(AIInsightsModel::relativeTime(t0, t0.addSecs(12)), QStringLiteral("12 sec"));
    EXPECT_EQ(AIInsightsModel::relativeTime(t0, t0.addSecs(185)), QStringLiteral("3 min, 5 sec"));
    EXPECT_EQ(AIInsightsModel::relativeTime(t0, t0.addSecs(7200)), QStringLiteral("2 hr"));
    EXPECT_EQ(AIInsightsModel::relativeTime(t0, t0.addSecs(86400 + 3600)), QStringLiteral("1 day, 1 hr"));
}

TEST(AIInsightsTab, LearningStateThenFindingsOfARecordedStream)
{
    Rig rig;
    DetailedView view(rig.env());
    view.resize(DetailedView::defaultWindowSize);
    view.selectTab(DashboardTab::aiInsights);
    view.show();
    settle();
    auto* tab = view.findChild<AIInsightsTab*>();
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->personalityText(), QStringLiteral("Learning..."));
    EXPECT_EQ(tab->statTexts(), (QStringList{QStringLiteral("0 baselines"), QStringLiteral("0 anomalies"),
                                             QStringLiteral("0 leaks")}));
    for (const QColor& c : tab->statColors()) EXPECT_EQ(c, namedColor(NamedColor::gray));
    EXPECT_FALSE(tab->showsLeaksCard());
    EXPECT_TRUE(tab->showsEmptyState());
    auto badgeOf = [&] {
        for (SidebarButton* b : view.findChildren<SidebarButton*>()) {
            if (b->label() == QStringLiteral("AI Insights")) return b->badge();
        }
        return qsizetype(-1);
    };
    EXPECT_EQ(badgeOf(), 0);
    ASSERT_TRUE(view.grab().save(screenshotPath(QStringLiteral("ai-insights-learning.png"))));

    feedRecordedStream(rig);
    settle();
    EXPECT_EQ(tab->personalityText(), QStringLiteral("Learning your patterns..."));
    EXPECT_EQ(tab->statTexts()[0], QStringLiteral("3 baselines"));
    EXPECT_EQ(tab->statTexts()[2], QStringLiteral("1 leak"));
    EXPECT_EQ(tab->statColors()[2], namedColor(NamedColor::red));
    ASSERT_TRUE(tab->showsLeaksCard());
    ASSERT_EQ(tab->leakRowTexts().size(), 1);
    EXPECT_TRUE(tab->leakRowTexts()[0].startsWith(QStringLiteral("node \u00B7 PID 812 | 420 MB \u2192 595 MB | +300 MB/hr \u00B7 100%")))
        << tab->leakRowTexts()[0].toStdString();
    EXPECT_FALSE(tab->showsEmptyState());
    const QStringList rows = tab->insightRowTexts();
    ASSERT_EQ(rows.size(), rig.ai.insights().size());
    EXPECT_EQ(badgeOf(), rig.ai.insights().size()) << "the badge counts the insights";
    QStringList titles;
    for (const AIInsight& i : rig.ai.insights()) titles << i.title;
    EXPECT_TRUE(titles.contains(QStringLiteral("Memory leak: node"))) << titles.join(", ").toStdString();
    EXPECT_TRUE(titles.contains(QStringLiteral("Coding mode")));
    EXPECT_TRUE(titles.contains(QStringLiteral("Memory pressure high")));
    EXPECT_FALSE(titles.contains(QStringLiteral("Disk space prediction"))) << "35 minutes of readings forecast nothing";
    EXPECT_TRUE(rows[0].startsWith(rig.ai.insights()[0].title + QStringLiteral(" \u00B7 ")));
    ASSERT_TRUE(view.grab().save(screenshotPath(QStringLiteral("ai-insights-findings.png"))));
}
