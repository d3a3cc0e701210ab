#include "core/CFormat.h"

#include <gtest/gtest.h>

#include <clocale>

TEST(CFormat, RoundsAsPrintfDoesWhateverTheLocale)
{
    // A locale with a decimal comma, where the machine has one; the figures keep their point.
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const struct {
        QString text;
        const char* expected;
    } rows[] = {
        {cformat("%.1f", 97.25), "97.2"},  // 97.25 is exact: the tie goes to the even digit
        {cformat("%.1f", 0.05), "0.1"},    // 0.05 is a little above its decimal
        {cformat("%.1f", 1.25), "1.2"},
        {cformat("%.0f", 0.5), "0"},
        {cformat("%.0f", 97.6), "98"},
        {cformat("%.2f%%", 12.345), "12.35%"},
        {cformat("%d items, %s", 3, "done"), "3 items, done"},
        {cformat("%.1f", -0.04), "-0.0"},
        {cformat("%s", QByteArray(300, 'x').constData()), nullptr},
    };
    for (const auto& r : rows) {
        if (r.expected) EXPECT_EQ(r.text, QString::fromLatin1(r.expected));
    }
    EXPECT_EQ(rows[8].text, QString(300, QLatin1Char('x'))) << "longer than the stack buffer";
    if (german) std::setlocale(LC_ALL, "C");
}
