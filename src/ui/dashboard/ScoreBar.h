#pragma once

#include <QColor>
#include "ui/theme/SteppedAnimation.h"
#include <QWidget>

// A labelled part score: the label, a 6-point bar whose fill is score / 100 of the track (not
// clamped), and the number. A new score glides there over 0.6 s (ease in-out), drawn only when
// the fill has grown or shrunk by a pixel.
class ScoreBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int labelWidth = 60;
    static constexpr int numberWidth = 30;
    static constexpr int spacing = 10;
    static constexpr qreal barHeight = 6;

    ScoreBar(const QString& label, QWidget* parent = nullptr);

    QString label() const { return m_label; }
    int64_t score() const { return m_score; }
    QColor color() const { return m_color; }
    void setScore(int64_t score, const QColor& color);
    // The number's colour: the palette's emphasised text.
    void setFigureColor(const QColor& color);
    QColor figureColor() const { return m_figureColor; }
    // The bar's track in widget coordinates, and the fill's width on display now.
    QRectF trackRect() const;
    double shownFillWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_label;
    int64_t m_score = 0;
    bool m_hasScore = false;
    double m_shownScore = 0;
    QColor m_color;
    QColor m_figureColor{Qt::white};
    SteppedAnimation m_animation{600, QEasingCurve::InOutQuad};
};
