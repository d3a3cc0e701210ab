#include "ui/dashboard/NamedColor.h"

QColor namedColor(NamedColor name)
{
    switch (name) {
    case NamedColor::red: return QColor(0xff, 0x45, 0x3a);
    case NamedColor::green: return QColor(0x32, 0xd7, 0x4b);
    case NamedColor::yellow: return QColor(0xff, 0xd6, 0x0a);
    case NamedColor::orange: return QColor(0xff, 0x9f, 0x0a);
    case NamedColor::purple: return QColor(0xbf, 0x5a, 0xf2);
    case NamedColor::cyan: return QColor(0x64, 0xd2, 0xff);
    case NamedColor::gray: return QColor(0x8e, 0x8e, 0x93);
    case NamedColor::blue: return QColor(0x0a, 0x84, 0xff);
    case NamedColor::white: return QColor(Qt::white);
    case NamedColor::mint: return QColor(0x63, 0xe6, 0xe2);
    }
    return QColor(Qt::white);
}
