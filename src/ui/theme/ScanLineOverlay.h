#pragma once

#include <QColor>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <QWidget>

// Faint horizontal bands every 4 points that brighten what lies beneath. Never takes a click.
class ScanLineOverlay : public QWidget {
    Q_OBJECT
public:
    explicit ScanLineOverlay(QWidget* parent = nullptr);

    void setLinesEnabled(bool enabled);  // callers pass the palette's enableScanLines
    bool linesEnabled() const { return m_enabled; }
    void setColor(const QColor& color);  // callers pass the palette's accentSecondary
    QColor color() const { return m_color; }

    // The bands of an area W x H: (0, y, W, 1) for y = 0, 4, 8, ... below H.
    static QList<QRectF> bands(const QSizeF& size);
    static void paint(QPainter& p, const QRectF& area, bool enabled, const QColor& color);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool m_enabled = false;
    QColor m_color;
};
