#pragma once

#include <QColor>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <QWidget>

// A faint circuit-board grid: traces every `spacing` points, nodes on every second column.
class CircuitTexture : public QWidget {
    Q_OBJECT
public:
    struct Style {
        QColor color;
        double opacity = 0.05;  // traces; nodes use 1.6 times it
        qreal spacing = 22;
    };
    struct Geometry {
        QList<qreal> verticals;  // x of each vertical trace
        QList<qreal> rows;       // y of each horizontal trace
        QList<QPointF> nodes;
    };

    explicit CircuitTexture(QWidget* parent = nullptr);
    void setStyle(const Style& style);
    const Style& style() const { return m_style; }

    // No trace on the edges; a spacing that is not positive draws nothing.
    static Geometry geometry(const QSizeF& size, qreal spacing);
    static void paint(QPainter& p, const QRectF& area, const Style& style);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Style m_style;
};
