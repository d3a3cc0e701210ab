#pragma once

#include <QString>
#include <QWidget>

#include "ui/theme/Shadow.h"

class FrameTicker;

// The coloured alert below the blackout: a translucent wash by level (blue, green, yellow,
// orange, then red) with the wake-up headline addressed to the user by first name, the reason,
// the dismissal hint and the count of alerts before the blackout. The eye symbol pulses while
// the view shows.
class SnoozeAlertView final : public QWidget {
    Q_OBJECT
public:
    // `addressee`: the user's first name (none: the headline names no one).
    SnoozeAlertView(const QString& reason, int level, const QString& addressee = QString(), QWidget* parent = nullptr);

    const QString& reason() const { return m_reason; }
    const QString& headline() const { return m_headline; }
    static QString headlineText(const QString& addressee);
    int level() const { return m_level; }
    QColor washColor() const;
    static QColor levelColor(int level);
    QString counterText() const;
    static QString hintText();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QString m_reason;
    int m_level;
    QString m_headline;
    double m_phase = 0;  // seconds into the pulse
    FrameTicker* m_ticker;
    // Where the last full paint put the eye: each pulse frame repaints only that square, and
    // the headline's blurred shadow is kept between paints.
    QRect m_symbolArea;
    Shadow::Cache m_headlineShadow;
};
