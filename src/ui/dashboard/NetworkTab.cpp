#include "ui/dashboard/NetworkTab.h"

#include "core/AppSettings.h"
#include "core/CFormat.h"
#include "monitoring/NetworkMonitor.h"
#include "ui/dashboard/ChartCurve.h"
#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QStringList>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace NetworkTabModel {

QList<NetworkSnapshot> chartHistory(const QList<NetworkSnapshot>& history)
{
    return history.size() <= chartPoints ? history : history.mid(history.size() - chartPoints);
}

QString totalText(const AppSettings& settings, uint64_t bytes)
{
    return QStringLiteral("Total: ") + settings.formatStorageSize(double(bytes), true);
}

QString connectionsText(int64_t count) { return cformat("%lld", static_cast<long long>(count)); }

ChartAxis chartAxis(double highestBytesPerSecond, bool bits)
{
    const double scale = bits ? 8.0 : 1.0;
    const double highest = std::max(1000.0, std::isfinite(highestBytesPerSecond) ? highestBytesPerSecond * scale : 0.0);
    // The smallest 1, 2 or 5 times a power of ten that holds the highest rate; its half is
    // then round too (0.5, 1, 2.5).
    double top = std::pow(10.0, std::floor(std::log10(highest)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (top * step >= highest * (1 - 1e-12)) {
            top *= step;
            break;
        }
    }
    static const char* const byteUnits[] = {"B/s", "KB/s", "MB/s", "GB/s"};
    static const char* const bitUnits[] = {"bps", "Kbps", "Mbps", "Gbps"};
    int unit = 0;
    double inUnit = top;
    while (inUnit >= 1000 && unit < 3) {
        inUnit /= 1000;
        ++unit;
    }
    const QString suffix = QStringLiteral(" ") + QString::fromLatin1(bits ? bitUnits[unit] : byteUnits[unit]);
    auto number = [](double v) {
        QString text = cformat("%.1f", v);
        if (text.endsWith(QLatin1String(".0"))) text.chop(2);
        return text;
    };
    return ChartAxis{top / scale, {number(0) + suffix, number(inUnit / 2) + suffix, number(inUnit) + suffix}};
}

QString connectionsNote(int64_t activeConnections)
{
    if (activeConnections != 0)
        return QStringLiteral("Per-process attribution requires a privileged helper. The total above reflects all "
                              "ESTABLISHED sockets the kernel reports.");
    return QStringLiteral("No active TCP connections");
}

}  // namespace NetworkTabModel

using namespace NetworkTabModel;

// Receive and send rates over the last minutes as two smoothed lines, on a round scale.
class BandwidthChart : public QWidget {
public:
    BandwidthChart(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_themes(themes) { setFixedHeight(200); }
    void set(QList<NetworkSnapshot> points, bool bits)
    {
        m_points = std::move(points);
        m_bits = bits;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_points.size() < 2) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(52, 6, -4, -6);
        double highest = 0;
        for (const NetworkSnapshot& s : m_points) highest = std::max({highest, s.rateIn, s.rateOut});
        const ChartAxis axis = chartAxis(highest, m_bits);
        const double top = axis.top;
        const QColor gray = namedColor(NamedColor::gray);
        p.setFont(DashboardStyle::mono(8));
        for (int i = 0; i < 3; ++i) {
            const double y = area.bottom() - area.height() * 0.5 * i;
            p.setPen(QPen(m_themes.current().border, 1));
            p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            p.setPen(gray);
            p.drawText(QRectF(0, y - 7, 48, 14), Qt::AlignRight | Qt::AlignVCenter, axis.labels[i]);
        }
        const qint64 t0 = m_points.first().timestamp.toMSecsSinceEpoch();
        const qint64 span = std::max<qint64>(1, m_points.last().timestamp.toMSecsSinceEpoch() - t0);
        auto line = [&](auto value, const QColor& colour) {
            QList<QPointF> raw;
            for (const NetworkSnapshot& s : m_points) {
                const double x = area.left() + area.width() * double(s.timestamp.toMSecsSinceEpoch() - t0) / double(span);
                raw << QPointF(x, area.bottom() - area.height() * std::max(0.0, value(s)) / top);
            }
            const QList<QPointF> curve = ChartCurve::smooth(raw);
            QPainterPath path(curve.first());
            for (qsizetype i = 1; i < curve.size(); ++i) path.lineTo(curve[i]);
            p.setPen(QPen(colour, 2));
            p.drawPath(path);
        };
        line([](const NetworkSnapshot& s) { return s.rateIn; }, namedColor(NamedColor::green));
        line([](const NetworkSnapshot& s) { return s.rateOut; }, namedColor(NamedColor::orange));
    }

private:
    ThemeManager& m_themes;
    QList<NetworkSnapshot> m_points;
    bool m_bits = false;
};

NetworkTab::NetworkTab(NetworkMonitor& monitor, AppSettings& settings, ThemeManager& themes, QWidget* parent)
    : QWidget(parent), m_monitor(monitor), m_settings(settings), m_themes(themes)
{
    setObjectName(QStringLiteral("networkTab"));
    const QColor gray = namedColor(NamedColor::gray);
    // Figures and titles in the palette's emphasised text, which a palette change recolours.
    const QColor white = themes.current().textBright;
    const auto bright = [](TextView* view) {
        view->setProperty("paletteBright", true);
        return view;
    };
    const QColor cyan = namedColor(NamedColor::cyan);
    auto* tab = new QVBoxLayout(this);
    tab->setContentsMargins(20, 20, 20, 20);
    tab->setSpacing(16);

    m_noInterface = new DashboardCard(themes, 24, 8, this);
    m_noInterface->setObjectName(QStringLiteral("noInterfaceNotice"));
    {
        auto* notice = static_cast<DashboardCard*>(m_noInterface)->content();
        notice->addWidget(new SymbolView(QStringLiteral("network"), 32, withOpacity(gray, 0.6), m_noInterface), 0,
                          Qt::AlignHCenter);
        notice->addWidget(bright(new TextView(noInterfaceTitle, DashboardStyle::font(14, QFont::DemiBold), white, m_noInterface)),
                          0, Qt::AlignHCenter);
        auto* hint = new WrappedTextView(noInterfaceHint, DashboardStyle::font(11), gray, 3, m_noInterface);
        notice->addWidget(hint);
    }
    tab->addWidget(m_noInterface);

    m_rates = new QWidget(this);
    auto* rates = new QHBoxLayout(m_rates);
    rates->setContentsMargins(0, 0, 0, 0);
    rates->setSpacing(16);
    auto rateCard = [&](const QString& symbol, NamedColor colour, const QString& label, TextView*& rate,
                        TextView*& total) {
        auto* card = new DashboardCard(themes, 16, 8, m_rates);
        auto* header = new QHBoxLayout;
        header->addWidget(new SymbolView(symbol, 14, namedColor(colour), card));
        header->addWidget(new TextView(label, DashboardStyle::tracked(DashboardStyle::mono(10, QFont::Bold), 1),
                                       withOpacity(namedColor(colour), 0.8), card));
        header->addStretch(1);
        card->content()->addLayout(header);
        rate = bright(new TextView(QString(), DashboardStyle::mono(28, QFont::Bold), white, card));
        total = new TextView(QString(), DashboardStyle::font(11), gray, card);
        card->content()->addWidget(rate);
        card->content()->addWidget(total);
        rates->addWidget(card, 1);
    };
    rateCard(QStringLiteral("arrow.down"), NamedColor::green, QStringLiteral("DOWNLOAD"), m_inRate, m_inTotal);
    rateCard(QStringLiteral("arrow.up"), NamedColor::orange, QStringLiteral("UPLOAD"), m_outRate, m_outTotal);
    tab->addWidget(m_rates);

    auto* bandwidth = new DashboardCard(themes, 16, 8, this);
    m_bandwidth = bandwidth;
    bandwidth->content()->addWidget(new TextView(QStringLiteral("BANDWIDTH HISTORY"),
                                                 DashboardStyle::tracked(DashboardStyle::mono(10, QFont::Bold), 1),
                                                 withOpacity(cyan, 0.8), bandwidth));
    m_collecting = new QWidget(bandwidth);
    m_collecting->setFixedHeight(200);
    auto* collectingColumn = new QVBoxLayout(m_collecting);
    collectingColumn->addWidget(new TextView(collecting, DashboardStyle::font(11), gray, m_collecting), 0,
                                Qt::AlignCenter);
    bandwidth->content()->addWidget(m_collecting);
    m_chart = new BandwidthChart(themes, bandwidth);
    bandwidth->content()->addWidget(m_chart);
    auto* legend = new QHBoxLayout;
    legend->setSpacing(16);
    for (auto [colour, text] : {std::pair{NamedColor::green, QStringLiteral("Download")},
                                std::pair{NamedColor::orange, QStringLiteral("Upload")}}) {
        legend->addWidget(new SymbolView(QStringLiteral("circle.fill"), 6, namedColor(colour), bandwidth));
        legend->addWidget(new TextView(text, DashboardStyle::font(10), gray, bandwidth));
    }
    legend->addStretch(1);
    bandwidth->content()->addLayout(legend);
    tab->addWidget(bandwidth);

    auto* connections = new DashboardCard(themes, 16, 8, this);
    auto* header = new QHBoxLayout;
    header->addWidget(new TextView(QStringLiteral("ACTIVE CONNECTIONS"),
                                   DashboardStyle::tracked(DashboardStyle::mono(10, QFont::Bold), 1),
                                   withOpacity(cyan, 0.8), connections));
    header->addStretch(1);
    m_count = bright(new TextView(QString(), DashboardStyle::mono(22, QFont::Bold), white, connections));
    header->addWidget(m_count);
    header->addWidget(new TextView(QStringLiteral("ESTABLISHED"), DashboardStyle::mono(9, QFont::Medium), gray,
                                   connections));
    connections->content()->addLayout(header);
    m_lines = new QVBoxLayout;
    m_lines->setSpacing(8);
    connections->content()->addLayout(m_lines);
    tab->addWidget(connections);
    tab->addStretch(1);

    connect(&monitor, &NetworkMonitor::changed, this, &NetworkTab::scheduleRefresh);
    connect(&settings, &AppSettings::changed, this, &NetworkTab::scheduleRefresh);
    connect(&themes, &ThemeManager::currentChanged, this, &NetworkTab::scheduleRefresh);
    refresh();
}

QWidget* NetworkTab::chart() const { return m_chart; }

void NetworkTab::scheduleRefresh()
{
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

QStringList NetworkTab::connectionLines() const
{
    QStringList out;
    for (int i = 0; i < m_lines->count(); ++i) {
        QWidget* w = m_lines->itemAt(i)->widget();
        if (auto* t = qobject_cast<TextView*>(w)) out << t->text();
        if (auto* t = qobject_cast<WrappedTextView*>(w)) out << t->text();
    }
    return out;
}

void NetworkTab::refresh()
{
    m_refreshQueued = false;
    for (TextView* view : findChildren<TextView*>())
        if (view->property("paletteBright").toBool()) view->setColor(m_themes.current().textBright);
    m_inRate->setText(m_settings.formatDataRate(m_monitor.currentRateIn(), true));
    m_outRate->setText(m_settings.formatDataRate(m_monitor.currentRateOut(), true));
    m_inTotal->setText(totalText(m_settings, m_monitor.totalBytesIn()));
    m_outTotal->setText(totalText(m_settings, m_monitor.totalBytesOut()));
    const bool none = m_monitor.noCountedInterface();
    m_noInterface->setVisible(none);
    m_rates->setVisible(!none);
    m_bandwidth->setVisible(!none);
    const bool enough = m_monitor.networkHistory().size() >= 2;
    m_collecting->setVisible(!enough);
    m_chart->setVisible(enough);
    m_chart->set(chartHistory(m_monitor.networkHistory()),
                 m_settings.dataRateUnitRaw() == AppSettings::rawValue(AppSettings::DataRateUnit::bits));
    m_count->setText(connectionsText(m_monitor.activeConnectionCount()));

    while (QLayoutItem* item = m_lines->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    QWidget* card = m_count->parentWidget();
    const QColor gray = namedColor(NamedColor::gray);
    auto addLine = [&](const QString& text, const QFont& font, const QColor& colour) {
        auto* line = new TextView(text, font, colour, card);
        line->setObjectName(QStringLiteral("connectionLine"));
        m_lines->addWidget(line);
    };
    const QList<NetworkProcessInfo>& processes = m_monitor.topNetworkProcesses();
    if (!processes.isEmpty()) {
        for (const NetworkProcessInfo& p : processes)
            addLine(p.name + QStringLiteral("  ") + connectionsText(p.connectionCount) + QStringLiteral(" connections"),
                    DashboardStyle::font(12, QFont::Medium), m_themes.current().textBright);
    } else if (m_monitor.activeConnectionCount() != 0) {
        auto* note = new WrappedTextView(connectionsNote(m_monitor.activeConnectionCount()), DashboardStyle::font(10),
                                         gray, 10, card);
        note->setObjectName(QStringLiteral("connectionNote"));
        m_lines->addWidget(note);
    } else {
        addLine(connectionsNote(0), DashboardStyle::font(12), gray);
    }
}
