#include "ui/dashboard/HistoryChartCard.h"

#include "ui/dashboard/ChartCurve.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/StatusCardsModel.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QValueAxis>

HistoryChartCard::HistoryChartCard(ThemeManager& themes, QWidget* parent)
    : DashboardCard(themes, DashboardStyle::cardPadding, 8, parent)
{
    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    m_symbol = new SymbolView(QString(), 14, Qt::white, this);
    m_title = new TextView(QString(), DashboardStyle::tracked(DashboardStyle::mono(10, QFont::Bold), 1), Qt::white, this);
    m_value = new TextView(QString(), DashboardStyle::mono(14, QFont::Bold), Qt::white, this);
    header->addWidget(m_symbol);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_value);
    content()->addLayout(header);

    m_collecting = new TextView(OverviewModel::collectingText, DashboardStyle::font(11), namedColor(NamedColor::gray), this);
    m_collecting->setAlignment(Qt::AlignCenter);
    m_collecting->setFixedHeight(chartHeight);
    m_collecting->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    content()->addWidget(m_collecting);

    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setBackgroundVisible(false);
    m_chart->setPlotAreaBackgroundVisible(false);
    // Room above the top grid line and below the bottom one for their labels.
    m_chart->setMargins(QMargins(0, 8, 0, 6));
    m_chart->setBackgroundRoundness(0);
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);

    m_areaUpper = new QLineSeries(m_chart);
    m_area = new QAreaSeries(m_areaUpper);
    m_line = new QLineSeries;
    m_chart->addSeries(m_area);
    m_chart->addSeries(m_line);

    m_axisX = new QValueAxis;
    m_axisX->setVisible(false);
    m_axisY = new QCategoryAxis;
    m_axisY->setRange(0, 100);
    m_axisY->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_axisY->setStartValue(0);
    for (int mark : StatusCardsModel::percentMarks)
        m_axisY->append(StatusCardsModel::chartAxisLabel(mark, QStringLiteral("%")), mark);
    m_axisY->setLineVisible(false);
    m_axisY->setLabelsFont(DashboardStyle::mono(8));
    m_axisY->setLabelsColor(namedColor(NamedColor::gray));
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(m_area), static_cast<QAbstractSeries*>(m_line)}) {
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
    }

    m_view = new QChartView(m_chart, this);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setFixedHeight(chartHeight);
    m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setStyleSheet(QStringLiteral("background: transparent"));
    m_view->setBackgroundBrush(Qt::NoBrush);
    m_view->hide();
    content()->addWidget(m_view);

    m_axisX->setRange(0, 1);
    // The curve is cut to the plot's size: a new size cuts it again.
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
        if (m_metricColor.isValid()) styleLine();
        if (m_plotted >= 2 && !qFuzzyCompare(area.width() * devicePixelRatioF() + 1, m_plotWidth + 1)) plot();
    });
}

void HistoryChartCard::styleAxis(const PaletteTheme& theme)
{
    if (theme.border == m_axisColor) return;
    m_axisColor = theme.border;
    m_axisY->setGridLineColor(theme.border);
    // A one-pixel line at any scale: drawn by the raster engine's line drawer rather than
    // outlined and filled, each time the chart is drawn.
    QPen grid(theme.border, 1);
    grid.setCosmetic(true);
    m_axisY->setGridLinePen(grid);
}

void HistoryChartCard::setChart(const OverviewModel::Chart& model)
{
    m_symbol->setName(model.symbol);
    m_symbol->setColor(model.symbolTint);
    m_title->setText(model.title);
    m_title->setColor(model.titleColor);
    m_value->setText(model.valueText);
    m_value->setColor(theme().textBright);
    const QFont valueFont = DashboardStyle::mono(model.valueFontSize, QFont::Bold);
    if (m_value->font() != valueFont) m_value->setFont(valueFont);

    m_collecting->setVisible(!model.showsChart());
    m_view->setVisible(model.showsChart());
    if (!model.showsChart()) {
        m_points = model.points;
        m_plotted = 0;
        return;
    }

    // The chart is drawn again only for a new sample or new colours, not for every other
    // value the tab shows.
    if (model.points != m_points || m_plotted == 0) {
        m_points = model.points;
        m_plotted = model.points.size();
        plot();
    }

    if (model.metricColor != m_metricColor) {
        m_metricColor = model.metricColor;
        styleLine();

        QLinearGradient areaGradient(0, 0, 0, 1);
        areaGradient.setCoordinateMode(QGradient::ObjectBoundingMode);
        areaGradient.setColorAt(0, withOpacity(model.metricColor, 0.2));
        areaGradient.setColorAt(1, withOpacity(model.metricColor, 0.02));
        m_area->setBrush(areaGradient);
        m_area->setPen(Qt::NoPen);
    }
    styleAxis(theme());
}

void HistoryChartCard::styleLine()
{
    // The line fades in across the whole plot, from its leading side. The series draws its line
    // a segment at a time in the plot's own coordinates (0 at its left edge), so the gradient is
    // laid out there: one relative to each drawing would restart at every segment.
    QLinearGradient lineGradient(0, 0, std::max<qreal>(1, m_chart->plotArea().width()), 0);
    lineGradient.setColorAt(0, withOpacity(m_metricColor, 0.6));
    lineGradient.setColorAt(1, m_metricColor);
    m_line->setPen(QPen(QBrush(lineGradient), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void HistoryChartCard::plot()
{
    if (m_points.size() < 2) return;
    // Time runs from 0 at the oldest point to 1 at the newest: the axis keeps its range from one
    // sample to the next, so a sample moves the series and nothing else (a new range would lay
    // out both series a second time).
    const double first = m_points.first().x();
    const double span = m_points.last().x() > first ? m_points.last().x() - first : 1.0;
    QList<QPointF> shares;
    shares.reserve(m_points.size());
    for (const QPointF& p : m_points) shares.append(QPointF((p.x() - first) / span, p.y()));
    // Cut as finely as the plot shows it; before the first layout, as finely as it ever will.
    const QRectF area = m_chart->plotArea();
    const qreal dpr = devicePixelRatioF();
    const QList<QPointF> curve = area.isEmpty()
        ? ChartCurve::smooth(shares)
        : ChartCurve::smoothOnScreen(shares, QPointF(area.width() * dpr, area.height() * dpr / 100.0));
    m_plotWidth = area.width() * dpr;
    m_line->replace(curve);
    m_areaUpper->replace(curve);
}

bool HistoryChartCard::showsChart() const
{
    return !m_view->isHidden();
}

QString HistoryChartCard::title() const
{
    return m_title->text();
}

QString HistoryChartCard::valueText() const
{
    return m_value->text();
}
