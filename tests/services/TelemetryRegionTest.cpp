#include "services/TelemetryCollector.h"

#include <gtest/gtest.h>

TEST(TelemetryCollector, EuRegionByLocaleTerritory)
{
    const struct {
        QLocale locale;
        bool eu;
    } cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), true},      {QLocale(QLocale::French, QLocale::France), true},
        {QLocale(QLocale::English, QLocale::Ireland), true},     {QLocale(QLocale::English, QLocale::UnitedKingdom), true},
        {QLocale(QLocale::German, QLocale::Switzerland), true},  {QLocale(QLocale::NorwegianBokmal, QLocale::Norway), true},
        {QLocale(QLocale::Icelandic, QLocale::Iceland), true},   {QLocale(QLocale::German, QLocale::Liechtenstein), true},
        {QLocale(QLocale::English, QLocale::UnitedStates), false}, {QLocale(QLocale::Japanese, QLocale::Japan), false},
        {QLocale(QLocale::Russian, QLocale::Russia), false},     {QLocale(QLocale::Turkish, QLocale::Turkey), false},
        {QLocale::c(), false},
    };
    for (const auto& c : cases) EXPECT_EQ(TelemetryCollector::isEURegion(c.locale), c.eu) << c.locale.name().toStdString();
}
