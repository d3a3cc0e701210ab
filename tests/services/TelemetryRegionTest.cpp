#include "services/TelemetryCollector.h"

#include <gtest/gtest.h>

#include <QHash>

// The sharing default follows the region of the regional formats, not the interface language,
// and starts off wherever the region cannot be told.
TEST(TelemetryCollector, SharingDefaultFollowsTheRegionalFormats)
{
    const struct {
        QHash<QByteArray, QByteArray> env;
        bool sharingOn;
    } cases[] = {
        // English menus in Germany.
        {{{"LANG", "en_US.UTF-8"}, {"LC_TIME", "de_DE.UTF-8"}, {"LC_MONETARY", "de_DE.UTF-8"}}, false},
        {{{"LANG", "en_US.UTF-8"}, {"LC_MEASUREMENT", "de_AT.UTF-8"}}, false},
        {{{"LANG", "C.UTF-8"}}, false},
        {{{"LANG", "POSIX"}}, false},
        {{}, false},
        {{{"LANG", "eo"}}, false},
        {{{"LANG", "xx_ZZ.UTF-8"}}, false},
        {{{"LANG", "fr_FR.UTF-8"}}, false},
        {{{"LANG", "de_DE.UTF-8@euro"}}, false},
        {{{"LANG", "en_GB.UTF-8"}}, false},
        {{{"LANG", "nb_NO.UTF-8"}}, false},
        {{{"LANG", "de_CH.UTF-8"}}, false},
        {{{"LANG", "en_US.UTF-8"}}, true},
        {{{"LANG", "ja_JP.UTF-8"}}, true},
        {{{"LANG", "sr_RS@latin"}}, true},
        // A German speaker in Canada; an empty LC_ALL does not count.
        {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", ""}, {"LC_MONETARY", "en_CA.UTF-8"}}, true},
        // LC_ALL overrides every category.
        {{{"LC_ALL", "es_ES.UTF-8"}, {"LC_TIME", "en_US.UTF-8"}, {"LANG", "en_US.UTF-8"}}, false},
        {{{"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}, false},
    };
    for (const auto& c : cases) {
        const auto region =
            TelemetryCollector::regionFromEnvironment([&](const char* name) { return c.env.value(QByteArray(name)); });
        QByteArrayList shown;
        for (auto it = c.env.begin(); it != c.env.end(); ++it) shown << it.key() + '=' + it.value();
        EXPECT_EQ(!TelemetryCollector::isEURegion(region), c.sharingOn) << shown.join(' ').constData();
        // The question's default button keeps that default.
        EXPECT_EQ(TelemetryCollector::consentQuestion(TelemetryCollector::isEURegion(region)).firstIsDefault, c.sharingOn);
    }
    EXPECT_EQ(TelemetryCollector::territoryOf("de_DE.UTF-8@euro"), QStringLiteral("DE"));
    EXPECT_EQ(TelemetryCollector::territoryOf("C.UTF-8"), std::nullopt);
}
