#pragma once

#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/OverviewModel.h"

class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
class SymbolView;
class TextView;

// A chart card of the Overview: symbol, title and current value over a smoothed line with a
// faded area of the newest history points, or "Collecting data..." while there are fewer than
// two. The series are refilled in place on each sample, with as many curve points as the plot's
// width shows.
class HistoryChartCard : public DashboardCard {
    Q_OBJECT
public:
    static constexpr int chartHeight = 150;

    explicit HistoryChartCard(ThemeManager& themes, QWidget* parent = nullptr);

    void setChart(const OverviewModel::Chart& model);

    // For the tests: what is on show.
    bool showsChart() const;
    qsizetype plottedPointCount() const { return m_plotted; }
    QList<QPointF> plottedPoints() const { return m_points; }
    QString title() const;
    QString valueText() const;
    QChartView* chartView() const { return m_view; }

private:
    void styleAxis(const PaletteTheme& theme);
    void plot();
    void styleLine();

    SymbolView* m_symbol;
    TextView* m_title;
    TextView* m_value;
    TextView* m_collecting;
    QChartView* m_view;
    QChart* m_chart;
    QLineSeries* m_line;
    QLineSeries* m_areaUpper;
    QAreaSeries* m_area;
    QValueAxis* m_axisX;
    QCategoryAxis* m_axisY;
    qsizetype m_plotted = 0;
    QList<QPointF> m_points;
    qreal m_plotWidth = 0;
    QColor m_metricColor;
    QColor m_axisColor;
};
