#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QWidget>

class ThemeManager;

// A 1-point line in the palette's border colour (at an opacity), across or down its space.
class Divider : public QWidget {
    Q_OBJECT
public:
    Divider(ThemeManager& themes, Qt::Orientation orientation, double opacity = 1.0, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ThemeBinding m_theme;
    double m_opacity;
};
