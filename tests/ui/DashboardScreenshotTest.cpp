// The dashboard window rendered offscreen at its default size, saved as build/screenshots/
// dashboard.png for people to look at, and checked: it draws, and the sidebar is where it goes.
#include "DashboardRig.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/theme/ColorHex.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <cmath>

using namespace dashboard_rig;

namespace {

// The build tree: the nearest folder above the test binary that holds CMakeCache.txt.
QString buildTree()
{
    QDir dir(QCoreApplication::applicationDirPath());
    do {
        if (dir.exists(QStringLiteral("CMakeCache.txt"))) return dir.absolutePath();
    } while (dir.cdUp());
    return QDir::currentPath();
}

bool near(QRgb a, const QColor& b, int tolerance = 3)
{
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
           std::abs(qBlue(a) - b.blue()) <= tolerance;
}

// A machine an hour into monitoring: a busy history, a hot CPU, a few processes.
void publishLiveState(Rig& rig)
{
    for (int i = 0; i < 70; ++i)
        rig.publishSample(25 + 20 * std::sin(i / 5.0) + (i % 7), 55 + 10 * std::cos(i / 9.0), 82);
    PerformanceSnapshot s = rig.monitor.currentSnapshot();
    s.cpuUsage = 37.4;
    s.memoryUsed = 11.26;
    s.memoryTotal = 16;
    s.diskUsed = 312'000'000'000ULL;
    s.diskTotal = 500'000'000'000ULL;
    s.thermalState = ThermalLevel::fair;
    s.cpuTempC = 62;
    rig.monitor.setCurrentSnapshot(s);
    HealthScore h = rig.monitor.currentHealth();
    h.score = 82;
    h.cpuScore = 74;
    h.memoryScore = 61;
    h.diskScore = 88;
    h.thermalScore = 95;
    rig.monitor.setCurrentHealth(h);
    Sample sample;
    sample.snapshot = s;
    sample.snapshot.topProcesses = {ProcessInfoItem{.pid = 4242, .name = QStringLiteral("firefox-esr"), .cpuUsage = 23.5,
                                                    .memoryMB = 812.6}};
    sample.health = h;
    sample.cpu = 37.4;
    sample.memoryPressure = 70.4;
    rig.monitor.applySample(sample);
    rig.network.publish(NetworkMonitor::Measurement{.rateIn = 1500, .rateOut = 42000, .connections = 14,
                                                    .timestamp = rig.clock.now()});
    rig.ai.setDetectedLeaks({MemoryLeak{.processName = QStringLiteral("node")}});
}

}  // namespace

TEST(DashboardScreenshot, RendersTheWindowAndSavesIt)
{
    Rig rig;
    publishLiveState(rig);
    rig.settings.setVraxIntegrationEnabled(true);
    DetailedView view(rig.env());
    view.resize(DetailedView::defaultWindowSize);
    settle();
    const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), DetailedView::defaultWindowSize);

    const QString dir = buildTree() + QStringLiteral("/screenshots");
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(shot.save(dir + QStringLiteral("/dashboard.png")));

    // Not blank: many colours.
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7) colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 50);

    // The sidebar: the left 200 points, "#18181c" at its edges, top to bottom.
    const QColor sidebar = colorFromHex(Sidebar::backgroundHex);
    for (int y : {2, 300, 600, 745}) {
        EXPECT_TRUE(near(shot.pixel(3, y), sidebar)) << y;
        EXPECT_TRUE(near(shot.pixel(196, y), sidebar)) << y;
    }
    // Right of it, the palette's background (the Overview's padding).
    EXPECT_TRUE(near(shot.pixel(210, 8), PaletteTheme::ember().background));
    EXPECT_FALSE(near(shot.pixel(210, 8), sidebar));
}
