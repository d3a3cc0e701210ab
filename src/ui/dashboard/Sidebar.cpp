#include "ui/dashboard/Sidebar.h"

#include "core/AppSettings.h"
#include "monitoring/PerformanceMonitor.h"
#include "optimisation/AIEngine.h"
#include "optimisation/PerformanceProfileManager.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/IconTextRow.h"
#include "ui/dashboard/ImageView.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/ProfileLabelView.h"
#include "ui/dashboard/SidebarButton.h"
#include "ui/dashboard/SidebarModel.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/VRAXConnectedBadge.h"
#include "ui/theme/ColorHex.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

QuitLink::QuitLink(QWidget* parent) : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("quit"));
    setText(QStringLiteral("Quit"));
    setToolTip(QStringLiteral("Quit Veltranmoor (Ctrl+Q)"));
    setAccessibleName(QStringLiteral("Quit Veltranmoor"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

QSize QuitLink::sizeHint() const
{
    const QFontMetrics fm(DashboardStyle::font(10, QFont::Medium));
    return {12 + 4 + fm.horizontalAdvance(text()) + 2, std::max(fm.height(), 12) + 2};
}

void QuitLink::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Grey at rest like the lines beside it; white under the pointer or the keyboard.
    const QColor ink = underMouse() || hasFocus() ? QColor(Qt::white) : namedColor(NamedColor::gray);
    SymbolIcon::paint(p, QRectF(0, (height() - 12) / 2.0, 12, 12), QStringLiteral("xmark.circle"), ink);
    p.setFont(DashboardStyle::font(10, QFont::Medium));
    p.setPen(ink);
    p.drawText(QRectF(16, 0, width() - 16, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

Sidebar::Sidebar(const DashboardEnvironment& env, QWidget* parent) : QWidget(parent), m_env(env)
{
    setObjectName(QStringLiteral("sidebar"));
    setFixedWidth(SidebarModel::width);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QVBoxLayout;
    header->setContentsMargins(0, 20, 0, 20);
    header->setSpacing(8);
    header->addWidget(new ImageView(QStringLiteral("VeltranmoorMark"), {140, 140}, 1.0, this), 0, Qt::AlignHCenter);
    header->addWidget(new TextView(SidebarModel::applicationName, DashboardStyle::font(14, QFont::Bold), Qt::white, this),
                      0, Qt::AlignHCenter);
    m_vrax = new VRAXConnectedBadge(colorFromHex(u"#00d4ff"), this);
    header->addWidget(m_vrax, 0, Qt::AlignHCenter);
    m_pill = new ProfileLabelView({9, 10, QFont::Medium}, true, this);
    header->addWidget(m_pill, 0, Qt::AlignHCenter);
    column->addLayout(header);

    column->addWidget(new Divider(env.themeManager, Qt::Horizontal, 1.0, this));

    auto* tabs = new QVBoxLayout;
    tabs->setContentsMargins(12, 16, 12, 0);
    tabs->setSpacing(4);
    for (DashboardTab tab : DashboardTabs::all) {
        auto* button = new SidebarButton(DashboardTabs::icon(tab), DashboardTabs::rawValue(tab), this);
        button->setObjectName(QStringLiteral("tab:") + DashboardTabs::rawValue(tab));
        connect(button, &QAbstractButton::clicked, this, [this, tab] { Q_EMIT tabClicked(tab); });
        tabs->addWidget(button);
        m_buttons.append(button);
    }
    column->addLayout(tabs);
    column->addStretch(1);

    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->setSpacing(6);
    const QColor gray = namedColor(NamedColor::gray);
    m_monitoring = new IconTextRow(QStringLiteral("circle.fill"), 6, DashboardStyle::font(10), gray, 6, this);
    m_personality = new TextView(QString(), DashboardStyle::mono(9), withOpacity(namedColor(NamedColor::cyan), 0.7), this);
    m_personality->setElides(true);
    m_actions = new TextView(QString(), DashboardStyle::mono(10), gray, this);
    footer->addWidget(m_monitoring);
    footer->addWidget(m_personality);
    // Quitting is always within reach here, whether or not the desktop shows a tray.
    auto* lastRow = new QHBoxLayout;
    lastRow->setContentsMargins(0, 0, 0, 0);
    lastRow->addWidget(m_actions, 1);
    m_quit = new QuitLink(this);
    connect(m_quit, &QAbstractButton::clicked, this, &Sidebar::quitClicked);
    lastRow->addWidget(m_quit);
    footer->addLayout(lastRow);
    column->addLayout(footer);

    auto* logo = new QHBoxLayout;
    logo->setContentsMargins(0, 0, 0, 12);
    logo->setSpacing(7);
    logo->addStretch(1);
    logo->addWidget(new ImageView(QStringLiteral("MakerLogo"), {26, 26}, 0.85, this), 0, Qt::AlignVCenter);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(1);
    m_maker = new TextView(SidebarModel::makerName, DashboardStyle::tracked(DashboardStyle::mono(8, QFont::Bold), 2),
                           Qt::white, this);
    lines->addWidget(m_maker);
    lines->addWidget(new TextView(SidebarModel::productAddress, DashboardStyle::mono(8), withOpacity(gray, 0.5), this));
    logo->addLayout(lines);
    logo->addStretch(1);
    column->addLayout(logo);

    auto later = [this] { refresh(); };
    connect(&env.monitor, &PerformanceMonitor::isMonitoringChanged, this, later);
    connect(&env.monitor, &PerformanceMonitor::actionHistoryChanged, this, later);
    connect(&env.aiEngine, &AIEngine::changed, this, later);
    connect(&env.profileManager, &PerformanceProfileManager::activeProfileChanged, this, later);
    connect(&env.themeManager, &ThemeManager::currentChanged, this, later);
    connect(&env.settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("vraxIntegrationEnabled")) refresh();
    });
    refresh();
}

SidebarButton* Sidebar::button(DashboardTab tab) const
{
    return m_buttons.value(qsizetype(tab));
}

void Sidebar::setSelectedTab(DashboardTab tab)
{
    m_selected = tab;
    refresh();
}

void Sidebar::refresh()
{
    const PaletteTheme& theme = m_env.themeManager.current();
    const QList<SidebarModel::TabButton> rows = SidebarModel::tabList(m_selected, m_env.aiEngine.insights().size());
    for (qsizetype i = 0; i < rows.size() && i < m_buttons.size(); ++i) {
        m_buttons[i]->setSelected(rows[i].isSelected);
        m_buttons[i]->setAccentColor(theme.accent);
        m_buttons[i]->setBadge(rows[i].badge);
    }
    m_vrax->setVisible(m_env.settings.vraxIntegrationEnabled());
    m_pill->setStyle(ProfileStyle::of(m_env.profileManager.activeProfile()));

    const SidebarModel::StatusFooter footer = SidebarModel::statusFooter(
        m_env.monitor.isMonitoring(), m_env.aiEngine.systemPersonality(), m_env.monitor.actionHistory().size());
    m_monitoring->setSymbolColor(namedColor(footer.dot));
    m_monitoring->setText(footer.monitoringText);
    m_personality->setText(footer.personalityText);
    m_actions->setText(footer.actionsText);
    m_maker->setColor(withOpacity(theme.accent, 0.6));
}

void Sidebar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), colorFromHex(backgroundHex));
}
