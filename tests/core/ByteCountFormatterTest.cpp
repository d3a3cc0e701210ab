#include "core/ByteCountFormatter.h"

#include <gtest/gtest.h>

TEST(ByteCountFormatter, FileStyleTable)
{
    const struct {
        qint64 bytes;
        const char* text;
    } cases[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999, "999 bytes"},
        {1000, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"},
        {1'000'000, "1 MB"},
        {1'250'000, "1.3 MB"},
        {1'500'000, "1.5 MB"},
        {1'000'000'000, "1 GB"},
        {1'500'000'000, "1.5 GB"},
        {1'234'567'890, "1.23 GB"},
        {1'999'999'999, "2 GB"},
        {2'500'000'000'000, "2.5 TB"},
        {-1'500'000, "-1.5 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatByteCount(c.bytes), QString::fromUtf8(c.text)) << c.bytes;
}
