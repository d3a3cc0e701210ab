#pragma once

#include <QColor>

// The standard named colours the dashboard uses beside its palette; they stay the same whatever
// palette is chosen. Values suit the dark colour scheme the dashboard asks for.
enum class NamedColor { red, green, yellow, orange, purple, cyan, gray, blue, white, mint };

QColor namedColor(NamedColor name);
