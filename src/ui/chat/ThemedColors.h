#pragma once

#include "ui/theme/PaletteTheme.h"

#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

// Which palette field each of a view's plain Qt widgets takes its colour from, so a change of
// palette recolours all of them in one pass.
class ThemedColors {
public:
    using Pick = std::function<QColor(const PaletteTheme&)>;

    void add(QWidget* widget, QPalette::ColorRole role, Pick pick);
    void apply(const PaletteTheme& theme) const;

private:
    struct Entry {
        QPointer<QWidget> widget;
        QPalette::ColorRole role;
        Pick pick;
    };
    std::vector<Entry> m_entries;
};
