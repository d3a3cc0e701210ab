#include "ui/theme/ColorHex.h"

#include <QTextBoundaryFinder>

namespace {

bool isAlphanumeric(char32_t c)
{
    return QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

QString trimmedToAlphanumerics(QStringView text)
{
    const QList<uint> points = text.toUcs4();
    qsizetype first = 0;
    qsizetype last = points.size();
    while (first < last && !isAlphanumeric(points[first])) ++first;
    while (last > first && !isAlphanumeric(points[last - 1])) --last;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData() + first), last - first);
}

// User-perceived characters: a letter with a combining mark counts once.
qsizetype graphemeCount(const QString& text)
{
    if (text.isEmpty()) return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

// Longest run of hex digits from the start, after an optional 0x; nothing read reads as 0.
quint64 scanHex(const QString& text)
{
    qsizetype i = 0;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X') && hexDigit(text[2]) >= 0) i = 2;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0) break;
        // Lengths that are read at all hold at most eight digits; longer runs only saturate.
        if (value > (~quint64(0) >> 4)) return ~quint64(0);
        value = (value << 4) | quint64(d);
    }
    return value;
}

}  // namespace

QColor colorFromHex(QStringView text)
{
    const QString trimmed = trimmedToAlphanumerics(text);
    const quint64 value = scanHex(trimmed);
    int a = 255, r = 0, g = 0, b = 0;
    switch (graphemeCount(trimmed)) {
    case 8:
        a = int((value >> 24) & 0xFF);
        r = int((value >> 16) & 0xFF);
        g = int((value >> 8) & 0xFF);
        b = int(value & 0xFF);
        break;
    case 6:
        r = int((value >> 16) & 0xFF);
        g = int((value >> 8) & 0xFF);
        b = int(value & 0xFF);
        break;
    case 3:
        r = int((value >> 8) & 0xF) * 17;
        g = int((value >> 4) & 0xF) * 17;
        b = int(value & 0xF) * 17;
        break;
    default: break;
    }
    return QColor::fromRgb(r, g, b, a);
}
