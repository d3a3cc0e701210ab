#include "ui/dashboard/OverviewTab.h"

#include "core/AppSettings.h"
#include "monitoring/NetworkMonitor.h"
#include "monitoring/PerformanceMonitor.h"
#include "optimisation/AIEngine.h"
#include "optimisation/PerformanceProfileManager.h"
#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/HealthRing.h"
#include "ui/dashboard/HistoryChartCard.h"
#include "ui/dashboard/IconTextRow.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/OverviewModel.h"
#include "ui/dashboard/ProfileLabelView.h"
#include "ui/dashboard/ScoreBar.h"
#include "ui/dashboard/StatusCards.h"
#include "ui/dashboard/StatusCardsModel.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/ThemeManager.h"
#include "ui/theme/WindowExposure.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

OverviewTab::OverviewTab(const DashboardEnvironment& env, QWidget* parent) : QWidget(parent), m_env(env)
{
    setObjectName(QStringLiteral("overviewTab"));
    ThemeManager& themes = env.themeManager;
    auto* tab = new QVBoxLayout(this);
    tab->setContentsMargins(20, 20, 20, 20);
    tab->setSpacing(16);

    // Health header card.
    auto* header = new DashboardCard(themes, DashboardStyle::largeCardPadding, 0, this);
    auto* headerRow = new QHBoxLayout;
    headerRow->setSpacing(20);
    header->content()->addLayout(headerRow);
    m_ring = new HealthRing(themes, header);
    headerRow->addWidget(m_ring, 0, Qt::AlignVCenter);
    auto* bars = new QVBoxLayout;
    bars->setSpacing(10);
    for (const QString& label : {QStringLiteral("CPU"), QStringLiteral("Memory"), QStringLiteral("Disk"),
                                 QStringLiteral("Thermal")}) {
        auto* bar = new ScoreBar(label, header);
        bars->addWidget(bar);
        m_bars.append(bar);
    }
    headerRow->addLayout(bars, 3);
    headerRow->addStretch(1);
    auto* side = new QVBoxLayout;
    side->setSpacing(12);
    auto* profileBox = new QVBoxLayout;
    profileBox->setSpacing(4);
    profileBox->addWidget(new TextView(QStringLiteral("PROFILE"), DashboardStyle::mono(9, QFont::Bold),
                                       namedColor(NamedColor::gray), header),
                          0, Qt::AlignRight);
    m_profile = new ProfileLabelView({12, 13, QFont::Bold}, false, header);
    profileBox->addWidget(m_profile, 0, Qt::AlignRight);
    side->addLayout(profileBox);
    const QFont bannerFont = DashboardStyle::font(11, QFont::Medium);
    m_leakBanner = new IconTextRow(QStringLiteral("drop.triangle.fill"), 12, bannerFont, namedColor(NamedColor::red),
                                   4, header);
    m_diskBanner = new IconTextRow(QStringLiteral("chart.line.uptrend.xyaxis"), 12, bannerFont,
                                   namedColor(NamedColor::orange), 4, header);
    side->addWidget(m_leakBanner, 0, Qt::AlignRight);
    side->addWidget(m_diskBanner, 0, Qt::AlignRight);
    auto* sideBox = new QVBoxLayout;
    sideBox->addStretch(1);
    sideBox->addLayout(side);
    sideBox->addStretch(1);
    headerRow->addLayout(sideBox);
    tab->addWidget(header);

    auto* charts = new QHBoxLayout;
    charts->setSpacing(16);
    m_cpuChart = new HistoryChartCard(themes, this);
    m_memoryChart = new HistoryChartCard(themes, this);
    charts->addWidget(m_cpuChart, 1);
    charts->addWidget(m_memoryChart, 1);
    tab->addLayout(charts);

    auto* cards = new QHBoxLayout;
    cards->setSpacing(16);
    m_diskCard = new DiskCard(themes, this);
    m_thermalCard = new ThermalCard(themes, this);
    m_topProcessCard = new TopProcessCard(themes, this);
    m_networkCard = new NetworkCard(themes, this);
    for (QWidget* card : {static_cast<QWidget*>(m_diskCard), static_cast<QWidget*>(m_thermalCard),
                          static_cast<QWidget*>(m_topProcessCard), static_cast<QWidget*>(m_networkCard)}) {
        card->setMinimumWidth(0);
        card->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        cards->addWidget(card, 1);
    }
    tab->addLayout(cards);
    tab->addStretch(1);

    auto later = [this] { scheduleRefresh(); };
    connect(&env.monitor, &PerformanceMonitor::snapshotChanged, this, later);
    connect(&env.monitor, &PerformanceMonitor::healthChanged, this, later);
    connect(&env.monitor, &PerformanceMonitor::historiesChanged, this, later);
    connect(&env.monitor, &PerformanceMonitor::topProcessesChanged, this, later);
    connect(&env.aiEngine, &AIEngine::changed, this, later);
    connect(&env.profileManager, &PerformanceProfileManager::activeProfileChanged, this, later);
    connect(&env.themeManager, &ThemeManager::currentChanged, this, later);
    connect(&env.settings, &AppSettings::changed, this, later);
    // The network sampler publishes twice as often as the monitor and touches one card only.
    connect(&env.networkMonitor, &NetworkMonitor::changed, this, [this] {
        if (!m_refreshQueued) refreshNetwork();
    });
    // While the window is hidden, minimised or covered nothing is worked out or drawn; the tab
    // catches up once when it can be seen again.
    connect(new ExposureWatch(this), &ExposureWatch::cameOnScreen, this, [this] {
        if (m_stale) refresh();
    });
    refresh();
}

void OverviewTab::scheduleRefresh()
{
    // One sample publishes several values in a row; they are read once, together.
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

void OverviewTab::refresh()
{
    m_refreshQueued = false;
    if (!isOnScreen(this)) {
        m_stale = true;
        return;
    }
    m_stale = false;
    const PaletteTheme& theme = m_env.themeManager.current();
    const PerformanceMonitor& monitor = m_env.monitor;
    const HealthScore health = monitor.currentHealth();
    const PerformanceSnapshot snapshot = monitor.currentSnapshot();

    m_ring->setScore(health.score);
    const QList<OverviewModel::ScoreBarRow> rows = OverviewModel::scoreBars(health, theme);
    for (qsizetype i = 0; i < rows.size() && i < m_bars.size(); ++i) {
        m_bars[i]->setScore(rows[i].score, rows[i].color);
        m_bars[i]->setFigureColor(theme.textBright);
    }

    m_profile->setStyle(ProfileStyle::of(m_env.profileManager.activeProfile()));
    const auto leaks = OverviewModel::memoryLeakBannerText(m_env.aiEngine.detectedLeaks().size());
    m_leakBanner->setVisible(leaks.has_value());
    if (leaks) m_leakBanner->setText(*leaks);
    const auto diskFull = OverviewModel::diskFullBannerText(m_env.aiEngine.predictedDiskFullDate());
    m_diskBanner->setVisible(diskFull.has_value());
    if (diskFull) m_diskBanner->setText(*diskFull);

    m_cpuChart->setChart(OverviewModel::cpuChart(monitor.cpuHistory(), snapshot, theme));
    m_memoryChart->setChart(OverviewModel::memoryChart(monitor.memoryHistory(), snapshot, theme));

    m_diskCard->display(StatusCardsModel::disk(snapshot));
    m_thermalCard->display(StatusCardsModel::thermal(snapshot, m_env.settings));
    m_topProcessCard->display(StatusCardsModel::topProcess(monitor.topProcesses()));
    refreshNetwork();
}

void OverviewTab::refreshNetwork()
{
    if (!isOnScreen(this)) {
        m_stale = true;
        return;
    }
    const NetworkMonitor& network = m_env.networkMonitor;
    m_networkCard->display(StatusCardsModel::network(network.activeConnectionCount(), network.currentRateIn(),
                                                     network.currentRateOut(), m_env.settings));
}
