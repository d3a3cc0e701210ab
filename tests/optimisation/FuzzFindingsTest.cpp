// Inputs the fuzz harnesses (make fuzz) found faults with, kept as ordinary regression cases.
#include "optimisation/RegrowPattern.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include <cmath>

TEST(FuzzFindings, RegrowPatternsWithDatesNoFileCanHoldWorkOutWithoutOverflow)
{
    // Dates of +-9.3e15 s made the regrowth rate subtract milliseconds past the 64-bit range.
    const char* inputs[] = {
        R"([{"category":"npmCache","displayName":"npm","cleanCount":1,"totalReclaimedBytes":1,)"
        R"("lastSizeBytes":9223775807,"lastObservedAt":39.1e5,"lastClearedAt":-9.3e15,"regrowRateSamples":[]}])",
        R"([{"category":"npmCache","displayName":"npm","cleanCount":1,"totalReclaimedBytes":1,)"
        R"("lastSizeBytes":92233725807,"lastObservedAt":6.3e15,"lastClearedAt":-9.3e15,"regrowRateSamples":[]}])",
    };
    const QDateTime earliest(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    const QDateTime latest(QDate(2201, 1, 1), QTime(0, 0), QTimeZone::utc());
    for (const char* input : inputs) {
        const auto patterns = RegrowPattern::fromJsonArray(QJsonDocument::fromJson(input).array());
        if (!patterns) continue;  // refusing the file is as sound as leaving the dates out
        for (const RegrowPattern& p : *patterns) {
            for (const auto& date : {p.lastObservedAt, p.lastClearedAt}) {
                if (date) EXPECT_TRUE(*date >= earliest && *date < latest) << input;
            }
            EXPECT_TRUE(std::isfinite(p.currentRegrowRate())) << input;
            EXPECT_TRUE(std::isfinite(p.regrowRate())) << input;
            EXPECT_GE(p.confidence(), 0.0) << input;
        }
    }
}
