#pragma once

#include <QString>

// printf formatting in the C locale, for every figure in a text: "%.1f" of 97.25 is "97.2"
// (the nearest binary value, as printf rounds it), always with a point whatever the user's
// locale. Qt's own formatting rounds such ties away from zero.
QString cformat(const char* format, ...) __attribute__((format(printf, 1, 2)));
