#include "ui/theme/ButtonSkin.h"
#include "ui/theme/ColorHex.h"
#include "ui/theme/PaletteTheme.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QSet>

namespace {

QColor hex(const char* text) { return colorFromHex(QString::fromLatin1(text)); }

QColor at(QColor c, double a)
{
    c.setAlphaF(float(a));
    return c;
}

TEST(PaletteCatalogue, HoldsTwentyTwoDistinctPalettesInDisplayOrder)
{
    const QList<PaletteTheme>& all = PaletteTheme::all();
    ASSERT_EQ(all.size(), 22);
    EXPECT_EQ(all.first().id, u"ember");
    EXPECT_EQ(all.last().id, u"meridian");
    QSet<QString> ids;
    for (const PaletteTheme& p : all) ids.insert(p.id);
    EXPECT_EQ(ids.size(), 22);
    // The named palettes are the catalogue's entries.
    EXPECT_EQ(all[9].id, PaletteTheme::orluLight().id);
    EXPECT_EQ(all[19].id, PaletteTheme::obsidianFlux().id);
    EXPECT_EQ(PaletteTheme::crv().tagline, QString::fromUtf8("Corvanne — black and gold"));
}

TEST(PaletteCatalogue, FlagsSkinsStopsAndBordersFollowTheirFamilies)
{
    const QSet<QString> scanLines{u"hud"_qs, u"nebula"_qs, u"obsidian-flux"_qs, u"quantum"_qs};
    const QSet<QString> holo{u"aurora"_qs, u"nebula"_qs, u"obsidian-flux"_qs, u"quantum"_qs};
    const QList<PaletteTheme>& all = PaletteTheme::all();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const PaletteTheme& p = all[i];
        SCOPED_TRACE(p.id.toStdString());
        EXPECT_EQ(p.enableScanLines, scanLines.contains(p.id));
        if (p.enableScanLines) {
            EXPECT_TRUE(p.enableNeonGlow);
            EXPECT_EQ(p.gaugeStyle, GaugeStyle::hex);
        }
        EXPECT_EQ(p.buttonSkin, holo.contains(p.id) ? ButtonSkin::holo : ButtonSkin::gradient);
        EXPECT_EQ(p.gradientStops.has_value(), i >= 14);
        if (p.gradientStops) {
            EXPECT_EQ(p.gradientStops->size(), 3);
        }
        EXPECT_GE(p.border.alphaF(), 0.079f);
        EXPECT_LE(p.border.alphaF(), 0.551f);
    }
    EXPECT_NEAR(PaletteTheme::pro().border.alphaF(), 0.08, 0.005);
    EXPECT_EQ(PaletteTheme::pro().border.rgb(), QColor(Qt::white).rgb());
    EXPECT_NEAR(PaletteTheme::stark().border.alphaF(), 0.55, 0.005);
}

TEST(PaletteCatalogue, LightAndStarkPalettesCarryTheirOwnValues)
{
    for (const PaletteTheme* p : {&PaletteTheme::orluLight(), &PaletteTheme::crvLight(), &PaletteTheme::daylight()}) {
        SCOPED_TRACE(p->id.toStdString());
        EXPECT_GT(p->background.lightnessF(), 0.9f);
        EXPECT_EQ(p->surface, hex("#FFFFFF"));
        EXPECT_LT(p->text.lightnessF(), 0.3f);
        EXPECT_LT(p->textBright.lightnessF(), 0.2f);
        EXPECT_FALSE(p->enableScanLines);
        EXPECT_FALSE(p->enableNeonGlow);
    }
    EXPECT_EQ(PaletteTheme::orluLight().background, hex("#F7FBF8"));
    EXPECT_EQ(PaletteTheme::crvLight().background, hex("#FBF8F1"));
    EXPECT_EQ(PaletteTheme::daylight().background, hex("#F5F9FC"));

    const PaletteTheme& stark = PaletteTheme::stark();
    EXPECT_EQ(stark.background, QColor(Qt::black));
    for (const QColor& c : {stark.accent, stark.text, stark.textBright, stark.mono, stark.metricNetwork}) EXPECT_EQ(c, QColor(Qt::white));
    EXPECT_EQ(stark.monoFont.weight, MonoFont::bold);
    EXPECT_EQ(PaletteTheme::hud().monoFont.weight, MonoFont::medium);
    EXPECT_EQ(PaletteTheme::ember().monoFont.weight, MonoFont::regular);
    EXPECT_EQ(stark.monoFont.font().weight(), QFont::Bold);
    EXPECT_TRUE(stark.monoFont.font().fixedPitch() || QFontInfo(stark.monoFont.font()).fixedPitch());
}

TEST(PaletteCatalogue, SpotValuesAcrossTheTables)
{
    const QColor gold = hex("#d4a843");
    EXPECT_EQ(PaletteTheme::pro().accent, gold);
    EXPECT_EQ(PaletteTheme::ember().mono, gold);
    EXPECT_EQ(PaletteTheme::abyss().accentGlow, hex("#38BDF8"));
    EXPECT_EQ(PaletteTheme::ember().border, at(hex("#FF6B35"), 0.18));
    EXPECT_EQ(PaletteTheme::hud().accent, hex("#E91E8C"));
    EXPECT_EQ(PaletteTheme::crvLight().accentGlow, hex("#C9A227"));
    EXPECT_EQ(PaletteTheme::fireside().metricThermal, hex("#FF7B54"));
    EXPECT_EQ(PaletteTheme::meridian().metricNetwork, hex("#B08BBB"));
    EXPECT_EQ(PaletteTheme::nebula().gradientStops, (QList<QColor>{hex("#FF4ECD"), hex("#A855F7"), hex("#22D3EE")}));
    EXPECT_EQ(PaletteTheme::obsidianFlux().stops().first(), hex("#6366F1"));
    // A flat palette's stops are its two accents.
    EXPECT_EQ(PaletteTheme::ember().stops(), (QList<QColor>{hex("#FF4B2B"), hex("#FF9F1C")}));
}

TEST(PaletteCatalogue, FindMatchesIdsExactly)
{
    ASSERT_NE(PaletteTheme::find(u"obsidian-flux"_qs), nullptr);
    EXPECT_EQ(PaletteTheme::find(u"obsidian-flux"_qs)->name, u"Obsidian Flux");
    EXPECT_EQ(PaletteTheme::find(u"Ember"_qs), nullptr);
    EXPECT_EQ(PaletteTheme::find(QString()), nullptr);
    EXPECT_EQ(PaletteTheme::find(u"ember "_qs), nullptr);
    EXPECT_EQ(PaletteTheme::find(u"no-such"_qs), nullptr);
    EXPECT_EQ(PaletteTheme::find(u"ember"_qs), &PaletteTheme::all().first());
}

TEST(ButtonSkinBorder, HoloTakesTheStopsOthersAWhiteEdge)
{
    const QList<QColor> plain{at(Qt::white, 0.45), at(Qt::white, 0.08)};
    EXPECT_EQ(buttonSkinBorderColors(ButtonSkin::gradient, PaletteTheme::ember()), plain);
    EXPECT_EQ(buttonSkinBorderColors(ButtonSkin::solid, PaletteTheme::ember()), plain);

    const QList<QColor> holo = buttonSkinBorderColors(ButtonSkin::holo, PaletteTheme::quantum());
    ASSERT_EQ(holo.size(), 4);
    EXPECT_EQ(holo[0], at(Qt::white, 0.75));
    EXPECT_EQ(holo[1], at(hex("#67E8F9"), 0.9));
    // A flat palette gives holo its two accents.
    EXPECT_EQ(buttonSkinBorderColors(ButtonSkin::holo, PaletteTheme::ember()).size(), 3);

    PaletteTheme empty = PaletteTheme::aurora();
    empty.gradientStops = QList<QColor>{};
    EXPECT_EQ(buttonSkinBorderColors(ButtonSkin::holo, empty), QList<QColor>{at(Qt::white, 0.75)});
    EXPECT_EQ(empty.firstStop().alpha(), 0);
    EXPECT_EQ(PaletteTheme::aurora().firstStop(), hex("#4CE0B3"));
}

}  // namespace
