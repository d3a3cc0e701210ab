#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QList>
#include <QPolygonF>
#include <QWidget>

class ThemeManager;

// A small area chart of a sample series (each value a fraction, 0 bottom, 1 top) with a glowing
// line and a head dot. It has no timer: it moves when its owner supplies new samples.
class AnimatedWaveform : public QWidget {
    Q_OBJECT
public:
    explicit AnimatedWaveform(ThemeManager& themes, QWidget* parent = nullptr);

    ThemeBinding& themeBinding() { return m_theme; }
    const QList<double>& samples() const { return m_samples; }
    void setSamples(QList<double> samples);
    void setChartHeight(int height);  // the width is what the layout offers

    // The sample points across an area W x H, clamped to 0...1; empty below two samples.
    static QPolygonF points(const QList<double>& samples, const QSizeF& size);
    static void paint(QPainter& p, const QRectF& area, const QList<double>& samples, const PaletteTheme& theme);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ThemeBinding m_theme;
    QList<double> m_samples;
};
