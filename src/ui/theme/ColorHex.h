#pragma once

#include <QColor>
#include <QStringView>

// A colour from hex text: three (rgb, each digit doubled), six (rrggbb) or eight (aarrggbb, alpha
// first) characters after trimming non-alphanumerics from both ends. Any other length gives
// opaque black; a non-hex character ends the digits read. Never fails.
QColor colorFromHex(QStringView text);
