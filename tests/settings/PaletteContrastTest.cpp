// Every palette reads: the Overview, a settings page, the popover and the HUD are rendered in
// each of the 22 palettes, and the main figures and titles are read back from the pixels and
// measured against what lies under them (4.5:1 for text, 3:1 for large figures).
#include "SettingsRig.h"

#include "../ui/HUDRig.h"
#include "actions/OutcomeHarness.h"
#include "core/MainLoopWatchdog.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/HealthRing.h"
#include "ui/dashboard/ScoreBar.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/dashboard/SidebarButton.h"
#include "ui/dashboard/StatusCardsModel.h"
#include "ui/dashboard/TextView.h"
#include "ui/shell/HUDWidgetView.h"
#include "ui/shell/MenuReadoutView.h"
#include "ui/shell/QuickOptimizer.h"
#include "ui/theme/Contrast.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QScopeGuard>
#include <QTest>

using namespace settings_rig;

namespace {

constexpr double textRatio = 4.5, largeRatio = 3.0;

// What a text region shows: its most common colour is what lies under the text, and the pixel
// that stands out most from it is the ink (the middle of a glyph's stroke, where antialiasing
// leaves the text's own colour). Text that vanished into its background measures about 1.
double inkContrast(const QImage& image, const QRect& region)
{
    const QRect r = region.intersected(image.rect());
    if (r.isEmpty()) return 0;
    QHash<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) ++counts[image.pixel(x, y) | 0xff000000u];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) most = it.value(), background = it.key();
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrastRatio(QColor(it.key()), QColor(background)));
    return best;
}

// A widget's rectangle (or a part of it) in the coordinates of the image of `top`, scaled by
// the image's pixel ratio.
QRect inImage(const QWidget* widget, const QWidget* top, const QImage& image, QRect part = {})
{
    if (part.isNull()) part = widget->rect();
    const QRect r(widget->mapTo(top, part.topLeft()), part.size());
    const qreal dpr = image.devicePixelRatio();
    return QRect(QPoint(qRound(r.x() * dpr), qRound(r.y() * dpr)), QSize(qRound(r.width() * dpr), qRound(r.height() * dpr)));
}

struct Check {
    QString what;
    double ratio;
    double needed;
};

void expectReadable(const PaletteTheme& palette, const QList<Check>& checks)
{
    for (const Check& c : checks)
        EXPECT_GE(c.ratio, c.needed) << palette.id.toStdString() << ": " << c.what.toStdString();
}

PerformanceSnapshot busySnapshot()
{
    PerformanceSnapshot s;
    s.cpuUsage = 37;
    s.memoryUsed = 11.2;
    s.memoryTotal = 16;
    s.memoryPressure = 64;
    s.diskTotal = 512ULL << 30;
    s.diskUsed = 300ULL << 30;
    s.cpuTempC = 71;
    ProcessInfoItem p;
    p.pid = 4242;
    p.name = QStringLiteral("firefox");
    p.cpuUsage = 55;
    p.memoryMB = 2400;
    s.topProcesses = {p};
    return s;
}

TextView* textViewShowing(QWidget* root, const QString& text)
{
    for (TextView* view : root->findChildren<TextView*>())
        if (view->text() == text && view->isVisible()) return view;
    return nullptr;
}

}  // namespace

TEST(PaletteContrast, OverviewFiguresReadInEveryPalette)
{
    Rig rig;
    dashboard_rig::Rig& base = rig.base;
    const PerformanceSnapshot snapshot = busySnapshot();
    Sample sample;
    sample.snapshot = snapshot;
    sample.health.score = 72;
    sample.cpu = snapshot.cpuUsage;
    sample.memoryPressure = snapshot.memoryPressure;
    base.monitor.applySample(sample);
    DetailedView window(base.env());
    window.resize(DetailedView::defaultWindowSize);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QString temperature = StatusCardsModel::thermal(base.monitor.currentSnapshot(), base.settings).temperatureText;

    for (const PaletteTheme& palette : PaletteTheme::all()) {
        base.themes.setCurrent(palette);
        dashboard_rig::settle();
        const QImage shot = window.grab().toImage();
        QList<Check> checks;

        auto* ring = window.findChild<HealthRing*>();
        ASSERT_NE(ring, nullptr);
        const QFontMetrics nm(DashboardStyle::mono(40, QFont::Bold)), wm(DashboardStyle::font(11, QFont::DemiBold));
        const int top = (HealthRing::side - (nm.height() + 2 + wm.height())) / 2;
        const QRect number(HealthRing::side / 5, top, HealthRing::side * 3 / 5, nm.height());
        checks << Check{"health score", inkContrast(shot, inImage(ring, &window, shot, number)), largeRatio};

        for (ScoreBar* bar : window.findChildren<ScoreBar*>()) {
            const QRect figure(bar->width() - ScoreBar::numberWidth, 0, ScoreBar::numberWidth, bar->height());
            checks << Check{bar->label() + " score", inkContrast(shot, inImage(bar, &window, shot, figure)), textRatio};
        }
        TextView* name = textViewShowing(&window, QStringLiteral("firefox"));
        ASSERT_NE(name, nullptr);
        checks << Check{"top process", inkContrast(shot, inImage(name, &window, shot)), textRatio};
        TextView* temp = textViewShowing(&window, temperature);
        ASSERT_NE(temp, nullptr) << temperature.toStdString();
        checks << Check{"temperature", inkContrast(shot, inImage(temp, &window, shot)), largeRatio};
        expectReadable(palette, checks);
    }
}

TEST(PaletteContrast, SettingsTitlesReadInEveryPalette)
{
    Rig rig;
    SettingsEnvironment env = rig.env();
    // The settings window, and the same pages inside the dashboard's Settings tab.
    SettingsView view(env);
    view.resize(860, 640);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.selectSection(SettingsSection::appearance);
    // The profile cards lie on the palette's surface.
    SettingsView profiles(env);
    profiles.resize(860, 640);
    profiles.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&profiles));
    DashboardEnvironment dashboard = rig.base.env();
    dashboard.settingsView = &env;
    DetailedView window(dashboard);
    window.resize(DetailedView::defaultWindowSize);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.selectTab(DashboardTab::settings);
    auto* tab = qobject_cast<SettingsView*>(window.tabView());
    ASSERT_NE(tab, nullptr);
    tab->selectSection(SettingsSection::appearance);

    for (const PaletteTheme& palette : PaletteTheme::all()) {
        rig.base.themes.setCurrent(palette);
        dashboard_rig::settle();
        QList<Check> checks;
        const QImage own = view.grab().toImage();
        auto* title = view.page()->findChild<QLabel*>(QStringLiteral("sectionTitle"));
        ASSERT_NE(title, nullptr);
        checks << Check{"page title", inkContrast(own, inImage(title, &view, own)), textRatio};
        const QImage cards = profiles.grab().toImage();
        const QList<QLabel*> names = profiles.page()->findChildren<QLabel*>(QStringLiteral("profileName"));
        ASSERT_EQ(names.size(), 6);
        for (QLabel* name : names)
            checks << Check{name->text() + " card", inkContrast(cards, inImage(name, &profiles, cards)), textRatio};
        // The grey description beside it is secondary text, but it must not vanish either.
        for (QLabel* line : profiles.page()->findChildren<QLabel*>(QStringLiteral("profileDescription")))
            checks << Check{line->text(), inkContrast(cards, inImage(line, &profiles, cards)), largeRatio};

        const QImage inTab = window.grab().toImage();
        auto* tabTitle = tab->page()->findChild<QLabel*>(QStringLiteral("sectionTitle"));
        ASSERT_NE(tabTitle, nullptr);
        checks << Check{"page title in the dashboard", inkContrast(inTab, inImage(tabTitle, &window, inTab)), textRatio};
        for (SettingsSection section : {SettingsSection::appearance, SettingsSection::automation}) {
            QWidget* row = tab->sidebarRow(section);
            checks << Check{SettingsSections::rawValue(section) + " in the page row",
                            inkContrast(inTab, inImage(row, &window, inTab)), textRatio};
        }
        expectReadable(palette, checks);
    }
}

TEST(PaletteContrast, PopoverAndHUDTitlesAndFiguresReadInEveryPalette)
{
    HUDRig hud;
    dashboard_rig::Rig& base = hud.rig;
    Sample sample;
    sample.snapshot = busySnapshot();
    sample.health.score = 91;
    base.monitor.applySample(sample);
    QuickOptimizer optimizer{{.gate = base.gate,
                              .history = base.monitor,
                              .scheduler = base.scheduler,
                              .worker = base.executor,
                              .cleanCaches = [] { return QString(); },
                              .relieveMemory = [] { return QString(); }}};
    MenuReadoutView readout(MenuReadoutDeps{.perf = base.monitor,
                                            .net = base.network,
                                            .gpu = nullptr,
                                            .themes = base.themes,
                                            .profiles = base.profiles,
                                            .settings = base.settings,
                                            .optimizer = optimizer,
                                            .openDashboard = {},
                                            .openSettings = {}});
    readout.resize(readout.sizeHint());
    readout.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&readout));
    // The HUD is drawn into an image, not shown: it is measured, not watched. Its first picture
    // in a palette blurs that palette's glows, which with the sanitizers takes longer than the
    // main-loop watchdog allows a user's event; 22 palettes in a row are no user's path.
    HUDWidgetView view(hud.deps());
    view.adjustSize();
    const int bound = MainLoopWatchdog::instance().boundMs();
    MainLoopWatchdog::instance().setBoundMs(std::max(bound, 2000));
    const auto restore = qScopeGuard([bound] { MainLoopWatchdog::instance().setBoundMs(bound); });

    for (const PaletteTheme& palette : PaletteTheme::all()) {
        base.themes.setCurrent(palette);
        dashboard_rig::settle();
        QList<Check> checks;

        // The popover: its name beside the logo, above the palette's name.
        const QImage popover = readout.grab().toImage();
        QWidget* body = readout.layout()->itemAt(0)->widget();
        ASSERT_NE(body, nullptr);
        QFont nameFont = readout.font();
        nameFont.setPointSizeF(13);
        const QRect title(33, 0, QFontMetrics(nameFont).horizontalAdvance(QStringLiteral("Veltranmoor")) + 8, 19);
        checks << Check{"popover title", inkContrast(popover, inImage(body, &readout, popover, title)), textRatio};

        // The HUD, over a desktop of the palette's background.
        QImage shot(view.size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(palette.background);
        {
            QPainter p(&shot);
            view.render(&p);
        }
        QWidget* header = view.layout()->itemAt(0)->widget();
        const QRect hudTitle(26, 0, 130, header->height());
        checks << Check{"HUD title", inkContrast(shot, inImage(header, &view, shot, hudTitle)), textRatio};
        QWidget* tiles = nullptr;
        for (QWidget* w : view.findChildren<QWidget*>())
            if (w->size() == QSize(110, 78)) tiles = w;
        ASSERT_NE(tiles, nullptr);
        const char* labels[] = {"HUD CPU", "HUD MEM", "HUD HEALTH"};
        for (int i = 0; i < 3; ++i)
            checks << Check{labels[i], inkContrast(shot, inImage(tiles, &view, shot, QRect(52, 9 + i * 22, 58, 16))),
                            largeRatio};
        expectReadable(palette, checks);
    }
}
