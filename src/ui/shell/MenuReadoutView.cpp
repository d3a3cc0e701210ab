#include "ui/shell/MenuReadoutView.h"

#include "core/AppSettings.h"
#include "monitoring/GPUMonitor.h"
#include "monitoring/NetworkMonitor.h"
#include "monitoring/PerformanceMonitor.h"
#include "optimisation/PerformanceProfileManager.h"
#include "ui/shell/QuickOptimizer.h"
#include "ui/shell/StatusIcon.h"
#include "ui/theme/ScanLineOverlay.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/TavrilonHeroButton.h"
#include "ui/theme/TavrilonModePicker.h"
#include "ui/theme/TavrilonSecondaryButton.h"
#include "ui/theme/TavrilonSwitchRow.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

using namespace MenuReadout;

namespace {

constexpr int padding = 14;
constexpr int contentWidth = MenuReadoutView::width - 2 * padding;
constexpr int headerHeight = 36;
constexpr int cardHeight = 24;
constexpr int rowHeight = 28;
constexpr int processRowHeight = 14;
constexpr int spacing = 12;

QColor first(const PaletteTheme& t)
{
    const QList<QColor> s = t.stops();
    return s.isEmpty() ? QColor(Qt::transparent) : s.first();
}

QColor last(const PaletteTheme& t)
{
    const QList<QColor> s = t.stops();
    return s.isEmpty() ? QColor(Qt::transparent) : s.last();
}

void drawDivider(QPainter& p, double y, const PaletteTheme& t)
{
    p.fillRect(QRectF(0, y, contentWidth, 1), t.border);
}

QString thermalSymbol(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return QStringLiteral("thermometer.low");
    case ThermalLevel::fair: return QStringLiteral("thermometer.medium");
    case ThermalLevel::serious: return QStringLiteral("thermometer.high");
    case ThermalLevel::critical: break;
    }
    return QStringLiteral("thermometer.sun.fill");
}

QColor thermalColor(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return QColor(52, 199, 89);
    case ThermalLevel::fair: return QColor(255, 204, 0);
    case ThermalLevel::serious: return QColor(255, 149, 0);
    case ThermalLevel::critical: break;
    }
    return QColor(255, 59, 48);
}

QString thermalWord(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return QStringLiteral("Nominal");
    case ThermalLevel::fair: return QStringLiteral("Fair");
    case ThermalLevel::serious: return QStringLiteral("Serious");
    case ThermalLevel::critical: break;
    }
    return QStringLiteral("Critical");
}

struct Card {
    QString symbol, title, subtitle, value;
    QColor color;
    double fraction;
};

}  // namespace

// Sections 1 to 10: drawn in one pass from the published state.
class MenuReadoutView::Body : public QWidget {
public:
    explicit Body(MenuReadoutView& view) : QWidget(&view), m_view(view) { setAttribute(Qt::WA_TransparentForMouseEvents); }

    QList<Card> cards() const
    {
        const PerformanceSnapshot s = m_view.m_d.perf.currentSnapshot();
        const PaletteTheme& t = m_view.m_theme.theme();
        const DiskFigures disk = diskFigures(s);
        return {
            {QStringLiteral("cpu"), QStringLiteral("CPU"), coreText(m_view.m_cores), QString::asprintf("%.0f%%", s.cpuUsage),
             loadColor(s.cpuUsage, t), s.cpuUsage / 100},
            {QStringLiteral("memorychip"), QStringLiteral("Memory"),
             QString::asprintf("%.1f / %.0f GB", s.memoryUsed, s.memoryTotal), QString::asprintf("%.0f%%", s.memoryPressure),
             loadColor(s.memoryPressure, t), s.memoryPressure / 100},
            {QStringLiteral("internaldrive"), QStringLiteral("Disk"),
             m_view.m_d.settings.formatStorageSize(disk.freeGiB * 1e9, true) + QStringLiteral(" free"),
             QString::asprintf("%.0f%%", disk.usedPercent), diskColor(disk.freeGiB, t), disk.usedPercent / 100},
        };
    }

    // As many rows as topRows() keeps, without sorting the list for it on every sample.
    int processRows() const
    {
        return std::clamp(int(m_view.m_d.perf.currentSnapshot().topProcesses.size()), 1, maxProcessRows);
    }

    QSize sizeHint() const override
    {
        const int processes = 12 + 4 + processRows() * (processRowHeight + 4) - 4;
        return {contentWidth, headerHeight + spacing + 1 + spacing + 3 * (cardHeight + spacing) + 2 * (rowHeight + spacing) + 1 +
                                  spacing + processes + spacing + 1};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        const PerformanceSnapshot s = m_view.m_d.perf.currentSnapshot();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        double y = 0;

        // 1. Header: logo, name and palette, health ring.
        const QRectF logo(0, (headerHeight - 24) / 2.0, 24, 24);
        QPainterPath logoPath;
        logoPath.addRoundedRect(logo, 7, 7);
        p.fillPath(logoPath, stopsBrush(t.stops(), logo.topLeft(), logo.topRight()));
        SymbolIcon::paint(p, logo.adjusted(6, 6, -6, -6), QStringLiteral("shield.lefthalf.filled"), Qt::white);
        p.setFont(systemFont(13, QFont::Black));
        p.setPen(t.textBright);
        p.drawText(QRectF(33, logo.top() - 3, 200, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Veltranmoor"));
        p.setFont(systemFont(8.5, QFont::Medium));
        p.setPen(t.textDim);
        p.drawText(QRectF(33, logo.top() + 14, 200, 12), Qt::AlignLeft | Qt::AlignVCenter, t.name);

        const int64_t score = m_view.m_d.perf.currentHealth().score;
        const QRectF ring(contentWidth - 36 + 1.5, 1.5, 33, 33);
        p.setPen(QPen(t.surfaceElevated, 3, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(ring);
        p.setPen(QPen(stopsBrush(t.stops(), ring.topLeft(), ring.topRight()), 3, Qt::SolidLine, Qt::RoundCap));
        const double fraction = std::max(double(score) / 100.0, 0.02);
        p.drawArc(ring, 90 * 16, -int(fraction * 360 * 16));
        p.setFont(systemFont(12, QFont::Black));
        p.setPen(scoreColor(score, t));
        p.drawText(ring, Qt::AlignCenter, QString::number(score));
        y += headerHeight + spacing;

        // 2. Divider; 3-5. Cards.
        drawDivider(p, y, t);
        y += 1 + spacing;
        for (const Card& c : cards()) {
            SymbolIcon::paint(p, QRectF(0, y + 3, 18, 18), c.symbol, t.accentSecondary);
            const double x = 28, w = contentWidth - x;
            p.setFont(systemFont(11, QFont::DemiBold));
            p.setPen(t.text);
            p.drawText(QRectF(x, y, w, 15), Qt::AlignLeft | Qt::AlignVCenter, c.title);
            const double titleWidth = QFontMetricsF(p.font()).horizontalAdvance(c.title);
            p.setFont(systemFont(9));
            p.setPen(t.textDim);
            p.drawText(QRectF(x + titleWidth + 6, y, w, 15), Qt::AlignLeft | Qt::AlignVCenter, c.subtitle);
            p.setFont(t.monoFont.font(QFont::Bold));
            p.setPen(c.color);
            p.drawText(QRectF(x, y, w, 15), Qt::AlignRight | Qt::AlignVCenter, c.value);
            const QRectF bar(x, y + 17, w, 5);
            p.setPen(Qt::NoPen);
            p.setBrush(t.surfaceElevated);
            p.drawRoundedRect(bar, 2.5, 2.5);
            p.setBrush(c.color);
            p.drawRoundedRect(QRectF(bar.topLeft(), QSizeF(bar.width() * barFraction(c.fraction), 5)), 2.5, 2.5);
            y += cardHeight + spacing;
        }

        // 6. Network.
        const AppSettings& settings = m_view.m_d.settings;
        SymbolIcon::paint(p, QRectF(0, y + 5, 18, 18), QStringLiteral("network"), t.accentSecondary);
        p.setFont(systemFont(11, QFont::DemiBold));
        p.setPen(t.text);
        p.drawText(QRectF(28, y, 200, 15), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Network"));
        p.setFont(systemFont(9));
        p.setPen(t.textDim);
        p.drawText(QRectF(28, y + 15, 200, 12), Qt::AlignLeft | Qt::AlignVCenter,
                   connectionLine(m_view.m_d.net.activeConnectionCount()));
        QFont rate = t.monoFont.font(QFont::Medium);
        rate.setPixelSize(10);
        p.setFont(rate);
        const auto rateLine = [&](double top, const QString& text, const QString& symbol, const QColor& color) {
            const double textWidth = QFontMetricsF(rate).horizontalAdvance(text);
            p.setPen(color);
            p.drawText(QRectF(0, top, contentWidth - 14, 13), Qt::AlignRight | Qt::AlignVCenter, text);
            SymbolIcon::paint(p, QRectF(contentWidth - 10, top + 2, 10, 10), symbol, color);
            Q_UNUSED(textWidth);
        };
        rateLine(y, settings.formatDataRate(m_view.m_d.net.currentRateIn(), true), QStringLiteral("arrow.down"), t.success);
        rateLine(y + 14, settings.formatDataRate(m_view.m_d.net.currentRateOut(), true), QStringLiteral("arrow.up"),
                 t.accentSecondary);
        y += rowHeight + spacing;

        // 7. Thermals.
        const QColor stateColor = thermalColor(s.thermalState);
        SymbolIcon::paint(p, QRectF(0, y + 5, 18, 18), thermalSymbol(s.thermalState), stateColor);
        p.setFont(systemFont(11, QFont::DemiBold));
        p.setPen(t.text);
        p.drawText(QRectF(28, y, 200, 15), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Thermals"));
        p.setFont(systemFont(9));
        p.setPen(t.textDim);
        p.drawText(QRectF(28, y + 15, 200, 12), Qt::AlignLeft | Qt::AlignVCenter, thermalWord(s.thermalState));
        const auto column = [&](double right, const QString& label, std::optional<double> celsius) {
            p.setFont(systemFont(8, QFont::Medium));
            p.setPen(t.textDim);
            p.drawText(QRectF(right - 60, y, 60, 12), Qt::AlignRight | Qt::AlignVCenter, label);
            p.setFont(t.monoFont.font(QFont::DemiBold));
            p.setPen(celsius ? loadColor(*celsius, t) : t.textDim);
            p.drawText(QRectF(right - 60, y + 12, 60, 15), Qt::AlignRight | Qt::AlignVCenter,
                       settings.formatTemperature(celsius, true));
        };
        column(contentWidth - 60 - 12, QStringLiteral("CPU"), s.cpuTempC);
        column(contentWidth, QStringLiteral("GPU"), m_view.m_d.gpu ? m_view.m_d.gpu->gpuTempC() : std::nullopt);
        y += rowHeight + spacing;

        // 8. Divider; 9. Top processes; 10. Divider.
        drawDivider(p, y, t);
        y += 1 + spacing;
        p.setFont(systemFont(9, QFont::Bold));
        p.setPen(t.textDim);
        p.drawText(QRectF(0, y, contentWidth, 12), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TOP PROCESSES"));
        p.setFont(systemFont(8));
        p.drawText(QRectF(0, y, contentWidth, 12), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("CPU \u00B7 MEM"));
        y += 16;
        const QList<ProcessInfoItem> rows = topRows(s.topProcesses);
        if (rows.isEmpty()) {
            p.setFont(systemFont(10));
            p.drawText(QRectF(0, y, contentWidth, processRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("Idle \u2014 nothing notable."));
            y += processRowHeight + 4;
        }
        for (const ProcessInfoItem& r : rows) {
            p.setPen(Qt::NoPen);
            p.setBrush(r.isRunaway ? t.danger : withOpacity(t.accentSecondary, 0.6));
            p.drawEllipse(QRectF(0, y + processRowHeight / 2.0 - 2.5, 5, 5));
            p.setFont(systemFont(10));
            p.setPen(t.text);
            const QRectF nameBox(11, y, contentWidth - 11 - 38 - 56 - 12, processRowHeight);
            p.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter,
                       QFontMetricsF(p.font()).elidedText(r.name, Qt::ElideRight, nameBox.width()));
            QFont figures = t.monoFont.font();
            figures.setPixelSize(10);
            p.setFont(figures);
            p.setPen(loadColor(r.cpuUsage, t));
            p.drawText(QRectF(contentWidth - 56 - 6 - 38, y, 38, processRowHeight), Qt::AlignRight | Qt::AlignVCenter,
                       QString::asprintf("%.0f%%", r.cpuUsage));
            p.setPen(t.textDim);
            p.drawText(QRectF(contentWidth - 56, y, 56, processRowHeight), Qt::AlignRight | Qt::AlignVCenter,
                       QString::asprintf("%.0fMB", r.memoryMB));
            y += processRowHeight + 4;
        }
        y += spacing - 4;
        drawDivider(p, y, t);
    }

private:
    MenuReadoutView& m_view;
};

class MenuReadoutView::ModeHeading : public QWidget {
public:
    ModeHeading(MenuReadoutView& view) : QWidget(&view), m_view(view) { setFixedHeight(13); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        QPainter p(this);
        QFont heading = systemFont(9, QFont::Bold);
        heading.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
        p.setFont(heading);
        p.setPen(t.textDim);
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MODE"));
        p.setFont(systemFont(9.5, QFont::DemiBold));
        const QString mode = PerformanceModes::rawValue(m_view.m_d.profiles.activeProfile());
        const double w = QFontMetricsF(p.font()).horizontalAdvance(mode);
        p.setPen(QPen(stopsBrush(t.stops(), QPointF(width() - w, 0), QPointF(width(), 0)), 1));
        p.drawText(rect(), Qt::AlignRight | Qt::AlignVCenter, mode);
    }

private:
    MenuReadoutView& m_view;
};

class MenuReadoutView::SwitchCard : public QWidget {
public:
    explicit SwitchCard(MenuReadoutView& view) : QWidget(&view), m_view(view) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(withOpacity(t.surface, 0.55));
        p.setPen(QPen(t.border, 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }

private:
    MenuReadoutView& m_view;
};

class MenuReadoutView::ClosingRule : public QWidget {
public:
    explicit ClosingRule(MenuReadoutView& view) : QWidget(&view), m_view(view) { setFixedHeight(3); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        QList<QColor> colors{Qt::transparent};
        for (const QColor& c : t.stops()) colors << withOpacity(c, 0.55);
        colors << Qt::transparent;
        QPainter p(this);
        p.fillRect(QRectF(0, 2, width(), 1), stopsBrush(colors, QPointF(0, 0), QPointF(width(), 0)));
    }

private:
    MenuReadoutView& m_view;
};

MenuReadoutView::MenuReadoutView(MenuReadoutDeps deps, QWidget* parent)
    : QWidget(parent), m_d(std::move(deps)), m_theme(this, m_d.themes), m_cores(readCoreCounts())
{
    setFixedWidth(width);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);

    m_body = new Body(*this);
    m_body->setFixedHeight(m_body->sizeHint().height());
    column->addWidget(m_body);

    // 11. Mode.
    auto* mode = new QVBoxLayout;
    mode->setSpacing(6);
    mode->addWidget(new ModeHeading(*this));
    QList<PerformanceMode> modes(PerformanceModes::all.begin(), PerformanceModes::all.end());
    m_picker = new TavrilonModePicker(m_d.themes, modes, m_d.profiles.activeProfile(), this);
    connect(m_picker, &TavrilonModePicker::selectionChanged, this,
            [this](PerformanceMode chosen) { m_d.profiles.switchProfile(chosen); });
    mode->addWidget(m_picker);
    column->addLayout(mode);

    // 12. Quick action.
    auto* quick = new QVBoxLayout;
    quick->setSpacing(6);
    m_hero = new TavrilonHeroButton(m_d.themes, QStringLiteral("Optimize Now"),
                                    QStringLiteral("Free memory + clear safe caches"), QStringLiteral("bolt.fill"), this);
    connect(m_hero, &QAbstractButton::clicked, &m_d.optimizer, &QuickOptimizer::optimizeNow);
    quick->addWidget(m_hero);
    m_result = new QLabel(this);
    m_result->setFont(systemFont(9));
    quick->addWidget(m_result);
    column->addLayout(quick);

    // 13. Switches.
    auto* card = new SwitchCard(*this);
    auto* cardColumn = new QVBoxLayout(card);
    cardColumn->setContentsMargins(10, 10, 10, 10);
    cardColumn->setSpacing(8);
    struct SwitchSpec {
        QString title, symbol, detail;
        std::function<bool()> read;
        std::function<void(bool)> write;
    };
    AppSettings& settings = m_d.settings;
    PerformanceProfileManager& profiles = m_d.profiles;
    const QList<SwitchSpec> specs{
        {QStringLiteral("AutoPilot"), QStringLiteral("wand.and.stars"), QStringLiteral("Scheduled maintenance"),
         [&settings] { return settings.autoPilotEnabled(); }, [&settings](bool on) { settings.setAutoPilotEnabled(on); }},
        {QStringLiteral("Auto mode switching"), QStringLiteral("arrow.triangle.2.circlepath"),
         QStringLiteral("Pick the profile for me"), [&profiles] { return profiles.autoSwitchEnabled(); },
         [&profiles](bool on) { profiles.setAutoSwitchEnabled(on); }},
        {QStringLiteral("Work Guard"), QStringLiteral("shield.checkerboard"), QStringLiteral("Snapshot open work"),
         [&settings] { return settings.tavrilonWatcherEnabled(); },
         [&settings](bool on) { settings.setTavrilonWatcherEnabled(on); }},
    };
    for (const SwitchSpec& spec : specs) {
        auto* row = new TavrilonSwitchRow(m_d.themes, spec.title, spec.symbol, spec.detail, card);
        row->setOn(spec.read());
        connect(row, &TavrilonSwitchRow::toggled, this, [write = spec.write](bool on) { write(on); });
        m_switches << row;
        cardColumn->addWidget(row);
    }
    column->addWidget(card);

    // 14. Buttons.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto* dashboard = new TavrilonSecondaryButton(m_d.themes, QStringLiteral("Dashboard"),
                                                  QStringLiteral("square.grid.2x2.fill"), this);
    auto* settingsButton =
        new TavrilonSecondaryButton(m_d.themes, QStringLiteral("Settings"), QStringLiteral("gearshape.fill"), this);
    connect(dashboard, &QAbstractButton::clicked, this, [this] {
        Q_EMIT openingWindow();
        if (m_d.openDashboard) m_d.openDashboard();
    });
    connect(settingsButton, &QAbstractButton::clicked, this, [this] {
        Q_EMIT openingWindow();
        if (m_d.openSettings) m_d.openSettings();
    });
    m_dashboardButton = dashboard;
    m_settingsButton = settingsButton;
    buttons->addWidget(dashboard);
    buttons->addWidget(settingsButton);
    column->addLayout(buttons);

    // 15. Closing rule.
    column->addWidget(new ClosingRule(*this));

    m_scanLines = new ScanLineOverlay(this);
    m_scanLines->setAttribute(Qt::WA_TransparentForMouseEvents);

    // Readings arrive with every sample: they only touch the readout, which a hidden popover
    // does not paint. The controls follow the managers they show.
    const auto redrawReadout = [this] {
        // The process list's length sets the readout's height.
        const int height = m_body->sizeHint().height();
        if (m_body->minimumHeight() != height || m_body->maximumHeight() != height) m_body->setFixedHeight(height);
        if (isVisible()) m_body->update();
    };
    const auto redraw = [this, redrawReadout] {
        redrawReadout();
        syncControls();
    };
    connect(&m_d.perf, &PerformanceMonitor::snapshotChanged, this, redrawReadout);
    connect(&m_d.perf, &PerformanceMonitor::healthChanged, this, redrawReadout);
    connect(&m_d.net, &NetworkMonitor::changed, this, redrawReadout);
    if (m_d.gpu) connect(m_d.gpu, &GPUMonitor::changed, this, redrawReadout);
    connect(&m_d.themes, &ThemeManager::currentChanged, this, redraw);
    connect(&m_d.profiles, &PerformanceProfileManager::changed, this, redraw);
    connect(&m_d.profiles, &PerformanceProfileManager::activeProfileChanged, this, redraw);
    connect(&m_d.settings, &AppSettings::changed, this, redraw);
    connect(&m_d.optimizer, &QuickOptimizer::changed, this, redraw);
    syncControls();
}

void MenuReadoutView::syncControls()
{
    // Each setter below is skipped when it would change nothing: a restyle or a new text lays
    // the popover out again even while it is hidden.
    const PaletteTheme& t = m_theme.theme();
    const bool busy = m_d.optimizer.optimizing();
    const QString title = busy ? QStringLiteral("Optimizing\u2026") : QStringLiteral("Optimize Now");
    const QString subtitle = busy ? QStringLiteral("Working") : QStringLiteral("Free memory + clear safe caches");
    if (m_hero->title() != title) m_hero->setTitle(title);
    if (m_hero->subtitle() != subtitle) m_hero->setSubtitle(subtitle);
    if (m_hero->isBusy() != busy) m_hero->setBusy(busy);
    const std::optional<QString>& outcome = m_d.optimizer.lastOutcome();
    if (m_result->wordWrap() != outcome.has_value()) m_result->setWordWrap(outcome.has_value());
    const QString result = outcome.value_or(QStringLiteral("Reversible \u2014 never deletes your files."));
    if (m_result->text() != result) m_result->setText(result);
    const QString style = QStringLiteral("color: %1; background: transparent;").arg(t.textDim.name(QColor::HexArgb));
    if (m_result->styleSheet() != style) m_result->setStyleSheet(style);
    if (m_picker->selection() != m_d.profiles.activeProfile()) m_picker->setSelection(m_d.profiles.activeProfile());
    const bool values[] = {m_d.settings.autoPilotEnabled(), m_d.profiles.autoSwitchEnabled(),
                           m_d.settings.tavrilonWatcherEnabled()};
    for (int i = 0; i < m_switches.size(); ++i)
        if (m_switches[i]->isOn() != values[i]) m_switches[i]->setOn(values[i]);
    if (m_scanLines->linesEnabled() != t.enableScanLines || m_scanLines->color() != t.accentSecondary) {
        m_scanLines->setLinesEnabled(t.enableScanLines);
        m_scanLines->setColor(t.accentSecondary);
    }
    if (isVisible()) update();
}

QString MenuReadoutView::readoutText() const
{
    QStringList lines;
    for (const Card& c : m_body->cards()) lines << c.title + QLatin1Char(' ') + c.subtitle + QLatin1Char(' ') + c.value;
    lines << QStringLiteral("Network ") + connectionLine(m_d.net.activeConnectionCount());
    const QList<ProcessInfoItem> rows = topRows(m_d.perf.currentSnapshot().topProcesses);
    if (rows.isEmpty()) lines << QStringLiteral("Idle \u2014 nothing notable.");
    for (const ProcessInfoItem& r : rows) lines << r.name;
    return lines.join(QLatin1Char('\n'));
}

void MenuReadoutView::paintEvent(QPaintEvent*)
{
    const PaletteTheme& t = m_theme.theme();
    QPainter p(this);
    p.fillRect(rect(), t.background);
    QLinearGradient tint(rect().topLeft(), rect().bottomRight());
    tint.setColorAt(0, withOpacity(first(t), 0.1));
    tint.setColorAt(0.5, Qt::transparent);
    tint.setColorAt(1, withOpacity(last(t), 0.08));
    p.fillRect(rect(), tint);
}

void MenuReadoutView::resizeEvent(QResizeEvent*)
{
    m_scanLines->setGeometry(rect());
    m_scanLines->raise();
}
