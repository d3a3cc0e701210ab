#include "core/UserDefaults.h"
#include "ui/theme/HexGauge.h"
#include "ui/theme/ThemeManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

class ThemeManagerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults = std::make_unique<UserDefaults>(dir.filePath(u"settings.json"_qs));

    // What another run of the application reads back.
    std::optional<QString> stored() const { return UserDefaults(dir.filePath(u"settings.json"_qs)).getString(u"theme"_qs); }
};

TEST_F(ThemeManagerTest, SavedKnownIdIsPublishedAtStartAndOnApply)
{
    defaults->setString(u"theme"_qs, u"solaris"_qs);
    ThemeManager themes(*defaults);
    EXPECT_EQ(themes.current().id, u"solaris");
    themes.applySavedTheme();
    EXPECT_EQ(themes.current().id, u"solaris");
    EXPECT_EQ(stored(), u"solaris"_qs);
}

TEST_F(ThemeManagerTest, UnknownIdStartsAsEmberThenBecomesHudAndIsReplaced)
{
    defaults->setString(u"theme"_qs, u"retired-palette"_qs);
    ThemeManager themes(*defaults);
    EXPECT_EQ(themes.current().id, u"ember");
    EXPECT_EQ(stored(), u"retired-palette"_qs);  // starting up writes nothing
    QSignalSpy changed(&themes, &ThemeManager::currentChanged);
    themes.applySavedTheme();
    EXPECT_EQ(themes.current().id, u"hud");
    EXPECT_EQ(stored(), u"hud"_qs);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(ThemeManagerTest, EmptyIdStartsAsEmberThenShowsHudAndStoresNothing)
{
    ThemeManager themes(*defaults);
    EXPECT_EQ(themes.current().id, u"ember");
    EXPECT_EQ(themes.themeID(), QString());
    themes.applySavedTheme();
    EXPECT_EQ(themes.current().id, u"hud");
    EXPECT_FALSE(stored().has_value());

    // A value of the wrong type reads as no choice.
    defaults->setInt(u"theme"_qs, 7);
    ThemeManager again(*defaults);
    EXPECT_EQ(again.current().id, u"ember");
}

TEST_F(ThemeManagerTest, ChoosingStoresAndPublishesUnknownChoiceChangesNothing)
{
    ThemeManager themes(*defaults);
    QSignalSpy changed(&themes, &ThemeManager::currentChanged);
    EXPECT_TRUE(themes.choose(u"solaris"_qs));
    EXPECT_EQ(themes.current().id, u"solaris");
    EXPECT_EQ(stored(), u"solaris"_qs);
    EXPECT_EQ(changed.count(), 1);

    EXPECT_FALSE(themes.choose(u"Solaris"_qs));
    EXPECT_EQ(themes.current().id, u"solaris");
    EXPECT_EQ(stored(), u"solaris"_qs);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(ThemeManagerTest, CurrentAndThemeIdAreSetIndependently)
{
    ThemeManager themes(*defaults);
    themes.setCurrent(PaletteTheme::nebula());
    EXPECT_EQ(themes.themeID(), QString());
    themes.setThemeID(u"circuit"_qs);
    EXPECT_EQ(themes.current().id, u"nebula");
    EXPECT_EQ(stored(), u"circuit"_qs);
}

TEST_F(ThemeManagerTest, StatusColourFollowsTheScoreBand)
{
    const PaletteTheme& p = PaletteTheme::hud();
    HealthScore s;
    s.score = 80;
    EXPECT_EQ(statusColor(s, p), p.accent);
    s.score = 79;
    EXPECT_EQ(statusColor(s, p), p.warning);
    s.score = 49;
    EXPECT_EQ(statusColor(s, p), p.danger);
}

// Every shown widget that draws with the palette repaints when the choice changes.
TEST_F(ThemeManagerTest, ChangingThePaletteRepaintsShownWidgets)
{
    ThemeManager themes(*defaults);
    HexGauge gauge(themes);
    gauge.setValue(0.5);
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    gauge.installEventFilter(&counter);
    QTest::qWait(1500);  // let the first sweep finish
    const int before = counter.paints;
    const QImage ember = gauge.grab().toImage();
    themes.choose(u"quantum"_qs);
    for (int i = 0; i < 100 && counter.paints <= before; ++i) QTest::qWait(10);
    EXPECT_GT(counter.paints, before);
    EXPECT_NE(gauge.grab().toImage(), ember);
}

}  // namespace
