#pragma once

#include "optimisation/PerformanceMode.h"

#include <QColor>
#include <QString>

// How a performance profile is shown: its symbol, its name and its colour (the sidebar pill and
// the Overview's profile box).
struct ProfileStyle {
    QString symbol;
    QString name;
    QColor color;

    static ProfileStyle of(PerformanceMode mode);
};
