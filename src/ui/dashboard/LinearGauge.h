#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QWidget>

// A thin gauge of a value within a range: a capsule track painted with a gradient of tint
// colours and a marker at the value; an optional value text sits above the track.
class LinearGauge : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal trackHeight = 6;
    static constexpr qreal markerSide = 10;

    explicit LinearGauge(QWidget* parent = nullptr);

    void setRange(double minimum, double maximum);
    void setValue(double value);
    double value() const { return m_value; }
    // Where the marker sits, 0 at the left end of the track, 1 at the right (clamped).
    double fraction() const;
    void setTint(const QList<QColor>& stops);
    void setValueText(const QString& text, const QFont& font, const QColor& color);
    QString valueText() const { return m_valueText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double m_minimum = 0;
    double m_maximum = 100;
    double m_value = 0;
    QList<QColor> m_tint;
    QString m_valueText;
    QFont m_valueFont;
    QColor m_valueColor;
};
