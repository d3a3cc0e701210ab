#pragma once

#include "ui/theme/Shadow.h"
#include "ui/theme/SpringValue.h"
#include "ui/theme/ThemeBinding.h"

#include <QAbstractButton>

class FrameTicker;
class ThemeManager;

// A capsule switch filled with the palette's stops when on. The switched value is the button's
// checked state: read isOn(), listen to toggled(bool).
class TavrilonToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit TavrilonToggle(ThemeManager& themes, QWidget* parent = nullptr);

    ThemeBinding& themeBinding() { return m_theme; }
    bool isOn() const { return isChecked(); }
    void setOn(bool on) { setChecked(on); }
    // The knob's offset from the centre of the track, on its way to +-7.5.
    double knobOffset() const { return m_knob.value(); }

    static constexpr qreal trackWidth = 34;
    static constexpr qreal trackHeight = 19;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ThemeBinding m_theme;
    SpringValue m_knob{0.26, 0.65, -7.5};
    FrameTicker* m_ticker;
    Shadow::Cache m_trackShadow;
    Shadow::Cache m_knobShadow;
};
