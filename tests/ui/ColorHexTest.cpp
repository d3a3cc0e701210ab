#include "ui/theme/ColorHex.h"

#include <gtest/gtest.h>

namespace {

struct HexCase {
    const char16_t* text;
    int r, g, b, a;
};

TEST(ColorHex, ReadsThreeSixAndEightDigitsAndFallsBackToOpaqueBlack)
{
    const HexCase cases[] = {
        {u"#FFF", 255, 255, 255, 255},
        {u"FFF", 255, 255, 255, 255},
        {u"#abc", 0xAA, 0xBB, 0xCC, 255},
        {u"#FF6B35", 0xFF, 0x6B, 0x35, 255},
        {u"#ff6b35", 0xFF, 0x6B, 0x35, 255},
        {u"#80FF0000", 255, 0, 0, 128},  // alpha comes first
        {u"#FF000000", 0, 0, 0, 255},
        {u"#00FFFFFF", 255, 255, 255, 0},
        {u" #00FF00 ", 0, 255, 0, 255},   // blanks at the ends are trimmed
        {u"#00 FF00", 0, 0, 0, 255},      // a blank inside stays: seven characters
        {u"12345", 0, 0, 0, 255},
        {u"", 0, 0, 0, 255},
        {u"#", 0, 0, 0, 255},
        {u"#1234G6", 0x00, 0x12, 0x34, 255},  // digits read before the first non-hex one
        {u"#GG0000", 0, 0, 0, 255},
        {u"0xFFFFFF", 255, 255, 255, 0},   // eight characters, the prefix read as such
        {u"#123456789", 0, 0, 0, 255},
        {u"#FFFFFFFFFFFFFFFFFFFF", 0, 0, 0, 255},  // too long to matter, no overflow
        {u"\u00e9ab", 0, 0, 0, 255},       // three characters, no digit read
        {u"ab\u0301c", 0, 0xAA, 0xBB, 255},  // a combining mark: three perceived characters, "ab" read
    };
    for (const HexCase& c : cases) {
        const QColor color = colorFromHex(QStringView(c.text));
        SCOPED_TRACE(QString::fromUtf16(c.text).toStdString());
        EXPECT_EQ(color.red(), c.r);
        EXPECT_EQ(color.green(), c.g);
        EXPECT_EQ(color.blue(), c.b);
        EXPECT_EQ(color.alpha(), c.a);
        EXPECT_EQ(color.spec(), QColor::Rgb);
    }
}

}  // namespace
