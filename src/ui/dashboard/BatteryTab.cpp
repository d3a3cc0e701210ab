#include "ui/dashboard/BatteryTab.h"

#include "monitoring/BatteryMonitor.h"
#include "ui/dashboard/BatteryTabModel.h"
#include "ui/dashboard/ChartCurve.h"
#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/ThemeManager.h"

#include <QConicalGradient>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

using namespace BatteryTabModel;

namespace {

QColor healthColor(BatteryMonitor::HealthColor c)
{
    switch (c) {
    case BatteryMonitor::HealthColor::green: return namedColor(NamedColor::green);
    case BatteryMonitor::HealthColor::yellow: return namedColor(NamedColor::yellow);
    case BatteryMonitor::HealthColor::red: return namedColor(NamedColor::red);
    }
    return namedColor(NamedColor::green);
}

}  // namespace

// The charge ring: the track, the level arc in the health colour from the top, and the level
// with its word in the centre.
class BatteryRing : public QWidget {
public:
    BatteryRing(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_themes(themes) { setFixedSize(140, 140); }
    void set(double fraction, const QColor& arc, QString level, RingWord word)
    {
        m_fraction = std::clamp(fraction, 0.0, 1.0);
        m_arc = arc;
        m_level = std::move(level);
        m_word = std::move(word);
        update();
    }
    QString level() const { return m_level; }
    QString word() const { return m_word.text; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(6, 6, -6, -6);
        p.setPen(QPen(m_themes.current().border, 12, Qt::SolidLine, Qt::FlatCap));
        p.drawEllipse(r);
        if (m_fraction > 0) {
            QConicalGradient g(r.center(), 90);
            g.setColorAt(0, m_arc);
            g.setColorAt(1, withOpacity(m_arc, 0.4));
            p.setPen(QPen(QBrush(g), 12, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(r, 90 * 16, -int(m_fraction * 360 * 16));
        }
        p.setPen(m_themes.current().textBright);
        p.setFont(DashboardStyle::mono(36, QFont::Bold));
        const QRectF top(0, 0, width(), height() / 2.0 + 14);
        p.drawText(top, Qt::AlignHCenter | Qt::AlignBottom, m_level);
        p.setPen(namedColor(m_word.green ? NamedColor::green : NamedColor::orange));
        p.setFont(DashboardStyle::font(11, QFont::Medium));
        p.drawText(QRectF(0, height() / 2.0 + 18, width(), 20), Qt::AlignHCenter | Qt::AlignTop, m_word.text);
    }

private:
    ThemeManager& m_themes;
    double m_fraction = 0;
    QColor m_arc;
    QString m_level;
    RingWord m_word;
};

// The level history, 0 to 100, as a smoothed green line over a fading area.
class BatteryChart : public QWidget {
public:
    explicit BatteryChart(QWidget* parent) : QWidget(parent) { setFixedHeight(180); }
    void set(const QList<BatteryDataPoint>& points)
    {
        m_points = points;
        update();
    }
    qsizetype pointCount() const { return m_points.size(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_points.size() < 2) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(28, 4, -4, -4);
        const QColor gray = namedColor(NamedColor::gray);
        p.setFont(DashboardStyle::font(9));
        for (int level : {0, 50, 100}) {
            const double y = area.bottom() - area.height() * level / 100.0;
            p.setPen(QPen(withOpacity(gray, 0.2), 1));
            p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            p.setPen(gray);
            p.drawText(QRectF(0, y - 7, 24, 14), Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
        }
        const qint64 t0 = m_points.first().timestamp.toMSecsSinceEpoch();
        const qint64 span = std::max<qint64>(1, m_points.last().timestamp.toMSecsSinceEpoch() - t0);
        QList<QPointF> raw;
        for (const BatteryDataPoint& pt : m_points) {
            const double x = area.left() + area.width() * double(pt.timestamp.toMSecsSinceEpoch() - t0) / double(span);
            const double y = area.bottom() - area.height() * std::clamp<double>(double(pt.level), 0, 100) / 100.0;
            raw << QPointF(x, y);
        }
        const QList<QPointF> curve = ChartCurve::smooth(raw);
        QPainterPath line(curve.first());
        for (qsizetype i = 1; i < curve.size(); ++i) line.lineTo(curve[i]);
        QPainterPath fill = line;
        fill.lineTo(curve.last().x(), area.bottom());
        fill.lineTo(curve.first().x(), area.bottom());
        fill.closeSubpath();
        const QColor green = namedColor(NamedColor::green);
        QLinearGradient g(0, area.top(), 0, area.bottom());
        g.setColorAt(0, withOpacity(green, 0.2));
        g.setColorAt(1, withOpacity(green, 0.02));
        p.fillPath(fill, g);
        p.setPen(QPen(green, 2));
        p.drawPath(line);
    }

private:
    QList<BatteryDataPoint> m_points;
};

BatteryTab::BatteryTab(BatteryMonitor& monitor, ThemeManager& themes, QWidget* parent)
    : QWidget(parent), m_monitor(monitor), m_themes(themes)
{
    setObjectName(QStringLiteral("batteryTab"));
    const QColor gray = namedColor(NamedColor::gray);
    auto* tab = new QVBoxLayout(this);
    tab->setContentsMargins(20, 20, 20, 20);
    tab->setSpacing(16);

    m_placeholder = new QWidget(this);
    auto* ph = new QVBoxLayout(m_placeholder);
    ph->setContentsMargins(0, 60, 0, 60);
    ph->setSpacing(16);
    ph->addWidget(new SymbolView(QStringLiteral("battery.0"), 48, withOpacity(gray, 0.3), m_placeholder), 0,
                  Qt::AlignHCenter);
    ph->addWidget(new TextView(noBatteryTitle, DashboardStyle::font(16, QFont::DemiBold), gray, m_placeholder), 0,
                  Qt::AlignHCenter);
    ph->addWidget(new TextView(noBatteryHint, DashboardStyle::font(13), withOpacity(gray, 0.6), m_placeholder), 0,
                  Qt::AlignHCenter);
    tab->addWidget(m_placeholder);

    auto* status = new DashboardCard(themes, 20, 0, this);
    m_status = status;
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(24);
    m_ring = new BatteryRing(themes, status);
    statusRow->addWidget(m_ring, 0, Qt::AlignVCenter);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(10);
    statusRow->addLayout(m_rows, 1);
    status->content()->addLayout(statusRow);
    tab->addWidget(m_status);

    auto* history = new DashboardCard(themes, 16, 8, this);
    m_history = history;
    history->content()->addWidget(new TextView(
        historyTitle, DashboardStyle::tracked(DashboardStyle::mono(10, QFont::Bold), 1),
        withOpacity(namedColor(NamedColor::green), 0.8), history));
    m_chart = new BatteryChart(history);
    history->content()->addWidget(m_chart);
    tab->addWidget(m_history);
    tab->addStretch(1);

    connect(&monitor, &BatteryMonitor::changed, this, &BatteryTab::scheduleRefresh);
    connect(&themes, &ThemeManager::currentChanged, this, &BatteryTab::scheduleRefresh);
    refresh();
}

void BatteryTab::scheduleRefresh()
{
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

void BatteryTab::refresh()
{
    m_refreshQueued = false;
    const bool available = m_monitor.isAvailable();
    m_placeholder->setVisible(!available);
    m_status->setVisible(available);
    m_history->setVisible(available && m_monitor.batteryHistory().size() >= 2);
    if (!available) return;

    const BatteryInfo& info = m_monitor.batteryInfo();
    m_ring->set(double(std::max<int64_t>(0, info.level)) / 100.0, healthColor(m_monitor.healthColor()),
                levelText(info), BatteryTabModel::ringWord(info));
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        if (QLayout* row = item->layout()) {
            while (QLayoutItem* cell = row->takeAt(0)) {
                delete cell->widget();
                delete cell;
            }
        }
        delete item;
    }
    const QColor gray = namedColor(NamedColor::gray);
    for (const auto& [label, value] : detailRows(m_monitor)) {
        auto* row = new QHBoxLayout;
        auto* l = new TextView(label, DashboardStyle::font(11, QFont::Medium), gray, m_status);
        auto* v = new TextView(value, DashboardStyle::mono(12, QFont::Bold), m_themes.current().textBright, m_status);
        l->setObjectName(QStringLiteral("batteryRowLabel"));
        v->setObjectName(QStringLiteral("batteryRowValue"));
        row->addWidget(l);
        row->addStretch(1);
        row->addWidget(v);
        m_rows->addLayout(row);
    }
    m_chart->set(chartHistory(m_monitor.batteryHistory()));
}

QList<QPair<QString, QString>> BatteryTab::shownRows() const
{
    QList<QPair<QString, QString>> out;
    for (int i = 0; i < m_rows->count(); ++i) {
        QLayout* row = m_rows->itemAt(i)->layout();
        if (!row || row->count() < 3) continue;
        out.append({static_cast<TextView*>(row->itemAt(0)->widget())->text(),
                    static_cast<TextView*>(row->itemAt(2)->widget())->text()});
    }
    return out;
}

QString BatteryTab::ringText() const { return m_ring->level(); }
QString BatteryTab::ringWord() const { return m_ring->word(); }
