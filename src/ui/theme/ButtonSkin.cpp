#include "ui/theme/ButtonSkin.h"

#include "ui/theme/PaletteTheme.h"

namespace {
QColor white(double opacity)
{
    QColor c(Qt::white);
    c.setAlphaF(float(opacity));
    return c;
}
}  // namespace

QList<QColor> buttonSkinBorderColors(ButtonSkin skin, const PaletteTheme& theme)
{
    switch (skin) {
    case ButtonSkin::holo: {
        QList<QColor> colors{white(0.75)};
        for (const QColor& stop : theme.stops()) colors << withOpacity(stop, 0.9);
        return colors;
    }
    case ButtonSkin::gradient:
    case ButtonSkin::solid: break;
    }
    return {white(0.45), white(0.08)};
}
