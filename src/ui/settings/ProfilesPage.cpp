#include "core/AppSettings.h"
#include "core/Clock.h"
#include "optimisation/PerformanceProfileManager.h"
#include "ui/dashboard/AIInsightsModel.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsPages.h"
#include "ui/theme/ThemeManager.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

using namespace SettingsStyle;

QString profileHistoryLine(const ProfileSwitchEvent& event)
{
    if (event.from == QLatin1String("initial") || event.from == event.to) return event.to;
    return event.from + QStringLiteral(" \u2192 ") + event.to;
}

namespace {

struct ModeLook {
    QString icon;
    QColor color;
    QString description;
};

ModeLook lookOf(PerformanceMode mode)
{
    switch (mode) {
    case PerformanceMode::maxPerformance:
        return {QStringLiteral("flame.fill"), red,
                QStringLiteral("All-out speed. Aggressive throttling of non-essential processes.")};
    case PerformanceMode::balanced:
        return {QStringLiteral("scale.3d"), gold, QStringLiteral("Smart optimization with minimal interference.")};
    case PerformanceMode::batterySaver:
        return {QStringLiteral("leaf.fill"), green,
                QStringLiteral("Extend battery life. Reduced monitoring, lenient thresholds.")};
    case PerformanceMode::creativeWork:
        return {QStringLiteral("paintbrush.fill"), purple,
                QStringLiteral("Protect creative apps. Prioritize audio/video workflows.")};
    case PerformanceMode::developer:
        return {QStringLiteral("chevron.left.forwardslash.chevron.right"), systemCyan,
                QStringLiteral("Protect IDEs and build tools. Throttle everything else.")};
    case PerformanceMode::gaming:
        return {QStringLiteral("gamecontroller.fill"), orange,
                QStringLiteral("Maximum FPS. Kill background resource hogs.")};
    }
    return {};
}

// One profile's card: its symbol, name, description and the figures it writes; the active one
// is tinted in the profile's colour and carries a check mark.
class ProfileCard : public QAbstractButton {
public:
    ProfileCard(PerformanceMode mode, ThemeManager& themes, QWidget* parent) : QAbstractButton(parent), m_themes(themes)
    {
        const ModeLook look = lookOf(mode);
        m_color = look.color;
        setObjectName(QStringLiteral("profileCard"));
        // A button hands its children the button roles (and so the button-text colour); the
        // labels here draw in the colours they were given.
        setBackgroundRole(QPalette::Window);
        setForegroundRole(QPalette::WindowText);
        setText(PerformanceModes::rawValue(mode));
        setCursor(Qt::PointingHandCursor);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(12, 12, 12, 12);
        column->setSpacing(8);
        auto* top = new QHBoxLayout;
        top->addWidget(new SymbolView(look.icon, 18, look.color, this));
        top->addStretch(1);
        m_check = new SymbolView(QStringLiteral("checkmark.circle.fill"), 16, look.color, this);
        top->addWidget(m_check);
        column->addLayout(top);
        // The card lies on the palette's surface: its name takes the palette's emphasised text.
        QLabel* name = makeText(text(), sysFont(13, QFont::Bold), Qt::white, false, this);
        name->setObjectName(QStringLiteral("profileName"));
        name->setForegroundRole(QPalette::BrightText);
        column->addWidget(name);
        QLabel* description = SettingsStyle::makeText(look.description, sysFont(10), gray, true, this);
        description->setObjectName(QStringLiteral("profileDescription"));
        // On the palette's surface (or the profile's tint of it) the palette's secondary text
        // reads; a fixed grey fades on the light ones.
        const auto ink = [description, &themes] {
            QPalette pal = description->palette();
            pal.setColor(QPalette::WindowText, themes.current().textDim);
            description->setPalette(pal);
        };
        ink();
        connect(&themes, &ThemeManager::currentChanged, description, ink);
        description->setMaximumHeight(QFontMetrics(sysFont(10)).lineSpacing() * 3 + 2);
        column->addWidget(description);
        const auto values = PerformanceProfileManager::valuesOf(mode);
        auto* figures = new QHBoxLayout;
        figures->setSpacing(3);
        figures->addWidget(new SymbolView(QStringLiteral("cpu"), 8, gray, this));
        figures->addWidget(SettingsStyle::makeText(QStringLiteral("CPU %1%").arg(qint64(values.cpuThreshold)), mono(8), gray,
                                               false, this));
        figures->addSpacing(5);
        figures->addWidget(new SymbolView(QStringLiteral("clock"), 8, gray, this));
        figures->addWidget(SettingsStyle::makeText(QString::number(qint64(values.pollingIntervalSeconds)) +
                                                   QStringLiteral("s"),
                                               mono(8), gray, false, this));
        figures->addStretch(1);
        column->addLayout(figures);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    void setActive(bool active)
    {
        m_active = active;
        m_check->setVisible(active);
        update();
    }
    bool isActive() const { return m_active; }
    QSize sizeHint() const override { return layout()->sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        const qreal inset = m_active ? 1 : 0.5;
        path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 10, 10);
        const PaletteTheme& t = m_themes.current();
        p.fillPath(path, m_active ? withOpacity(m_color, 0.1) : t.surface);
        p.setPen(m_active ? QPen(withOpacity(m_color, 0.5), 2) : QPen(t.border, 1));
        p.drawPath(path);
    }

private:
    static QLabel* makeText(const QString& s, const QFont& f, const QColor& c, bool wrap, QWidget* parent)
    {
        return SettingsStyle::makeText(s, f, c, wrap, parent);
    }

    ThemeManager& m_themes;
    QColor m_color;
    SymbolView* m_check;
    bool m_active = false;
};

class ProfilesPage : public SettingsPage {
public:
    ProfilesPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        PerformanceProfileManager& profiles = env.profileManager;
        refreshOn(&profiles, &PerformanceProfileManager::changed);
        refreshOn(&profiles, &PerformanceProfileManager::activeProfileChanged);

        rows()->addWidget(new SectionHeader(QStringLiteral("Performance Profiles"), QStringLiteral("speedometer")));
        rows()->addWidget(makeText(QStringLiteral("Choose a profile that matches your current workflow. Each profile adjusts "
                                              "thresholds, polling frequency, and protected processes."),
                               sysFont(12), gray, true));

        auto* autoCard = new SettingsCard(12);
        autoCard->content()->addWidget(toggleRow(
            QStringLiteral("veltranmoor_auto_switch"), QStringLiteral("Auto-Switch Profiles"),
            QStringLiteral("Veltranmoor AI automatically detects your workflow and switches profiles \u2014 based on "
                           "running apps, battery state, and load patterns."),
            [&profiles] { return profiles.autoSwitchEnabled(); },
            [&profiles](bool on) { profiles.setAutoSwitchEnabled(on); }));
        auto* reasonRow = new QWidget;
        auto* reasonLine = new QHBoxLayout(reasonRow);
        reasonLine->setContentsMargins(0, 0, 0, 0);
        reasonLine->addWidget(new SymbolView(QStringLiteral("info.circle"), 10, systemCyan, reasonRow));
        QLabel* reason = makeText(QString(), sysFont(10), systemCyan, true, reasonRow);
        reason->setObjectName(QStringLiteral("lastSwitchReason"));
        reasonLine->addWidget(reason, 1);
        liveText(reason, [&profiles] { return QStringLiteral("Last switch: ") + profiles.lastAutoSwitchReason(); });
        visibleWhen(reasonRow, [&profiles] { return !profiles.lastAutoSwitchReason().isEmpty(); });
        autoCard->content()->addWidget(reasonRow);
        rows()->addWidget(autoCard);

        auto* grid = new QWidget;
        auto* cells = new QGridLayout(grid);
        cells->setContentsMargins(0, 0, 0, 0);
        cells->setHorizontalSpacing(8);
        cells->setVerticalSpacing(12);
        int i = 0;
        for (PerformanceMode mode : PerformanceModes::all) {
            auto* card = new ProfileCard(mode, env.themeManager, grid);
            connect(card, &QAbstractButton::clicked, this, [&profiles, mode] { profiles.switchProfile(mode); });
            onRefresh([card, &profiles, mode] { card->setActive(profiles.activeProfile() == mode); });
            cells->addWidget(card, i / 2, i % 2);
            ++i;
        }
        rows()->addWidget(grid);

        auto* history = new QWidget;
        history->setObjectName(QStringLiteral("profileHistory"));
        auto* historyColumn = new QVBoxLayout(history);
        historyColumn->setContentsMargins(0, 0, 0, 0);
        historyColumn->setSpacing(8);
        QLabel* title = makeText(QStringLiteral("PROFILE HISTORY"), DashboardStyle::tracked(mono(10, QFont::Bold), 1), gray);
        onRefresh([this, title] {
            setInk(title, QPalette::WindowText, withOpacity(accent(), 0.7));
        });
        historyColumn->addWidget(title);
        auto* historyCard = new SettingsCard(0);
        historyCard->content()->addWidget(rebuilt(0, [this, &profiles](QWidget* host, QVBoxLayout* column) {
            const auto& events = profiles.profileHistory();
            const QDateTime now = this->env().clock.now();
            for (qsizetype k = 0; k < std::min<qsizetype>(events.size(), 5); ++k) {
                const ProfileSwitchEvent& e = events[k];
                auto* row = new QWidget(host);
                row->setObjectName(QStringLiteral("historyRow"));
                auto* line = new QHBoxLayout(row);
                line->setContentsMargins(0, 2, 0, 2);
                line->addWidget(makeText(profileHistoryLine(e), sysFont(11, QFont::Medium), Qt::white, false, row));
                line->addStretch(1);
                line->addWidget(makeText(e.reason, sysFont(10), gray, false, row));
                line->addWidget(makeText(AIInsightsModel::relativeTime(e.timestamp, now) + QStringLiteral(" ago"), sysFont(9),
                                     withOpacity(gray, 0.6), false, row));
                column->addWidget(row);
            }
        }));
        historyColumn->addWidget(historyCard);
        visibleWhen(history, [&profiles] { return !profiles.profileHistory().isEmpty(); });
        rows()->addWidget(history);
        // The ages keep counting while the page is shown.
        auto* ages = new QTimer(this);
        ages->setInterval(30'000);
        connect(ages, &QTimer::timeout, this, [this] { refresh(); });
        ages->start();
    }
};

}  // namespace

SettingsPage* makeProfilesPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new ProfilesPage(env, state);
}
