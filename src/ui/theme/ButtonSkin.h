#pragma once

#include <QColor>
#include <QList>

struct PaletteTheme;

// The edge of the call-to-action button. solid and gradient draw alike; holo picks up the
// palette's stops.
enum class ButtonSkin { solid, gradient, holo };

// Colours of the hero button's one-point border, top-leading to bottom-trailing.
QList<QColor> buttonSkinBorderColors(ButtonSkin skin, const PaletteTheme& theme);
