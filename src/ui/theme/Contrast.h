#pragma once

#include <QColor>

// Legibility of one colour on another, as the accessibility guidelines measure it.

// The relative luminance of an opaque colour (0 black to 1 white), from its sRGB components.
double relativeLuminance(const QColor& color);

// (L1 + 0.05) / (L2 + 0.05) of the lighter over the darker: 1 for equal colours, 21 for black
// on white. Both colours are taken as opaque.
double contrastRatio(const QColor& a, const QColor& b);

// Whichever of `first` and `second` stands out more on `background`; `first` on a tie.
QColor readableOn(const QColor& background, const QColor& first, const QColor& second);

// `color` where it stands out on `background` by at least `minimum`, else `fallback` (the
// palette's own text): a palette whose accent is too pale for its background still shows the
// figure.
QColor legibleOn(const QColor& color, const QColor& background, double minimum, const QColor& fallback);
