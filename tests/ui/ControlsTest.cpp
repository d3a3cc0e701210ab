#include "core/UserDefaults.h"
#include "ui/theme/HexGauge.h"
#include "ui/theme/TavrilonHeroButton.h"
#include "ui/theme/TavrilonModePicker.h"
#include "ui/theme/TavrilonSecondaryButton.h"
#include "ui/theme/TavrilonSwitchRow.h"
#include "ui/theme/TavrilonToggle.h"
#include "ui/theme/ThemeManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QCursor>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

class Controls : public ::testing::Test {
protected:
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(u"settings.json"_qs)};
    ThemeManager themes{defaults};
};

// Delivers the click to whichever child lies under the point, as the window system would.
void clickAt(QWidget& top, QPoint at)
{
    QWidget* target = top.childAt(at);
    if (!target) target = &top;
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(&top, at));
}

template <typename Pred>
bool waitFor(Pred pred, int ms = 3000)
{
    for (int waited = 0; waited < ms && !pred(); waited += 10) QTest::qWait(10);
    return pred();
}

TEST_F(Controls, ToggleFlipsOnATapAnywhere)
{
    TavrilonToggle toggle(themes);
    toggle.resize(toggle.sizeHint());
    QSignalSpy toggled(&toggle, &TavrilonToggle::toggled);
    QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(toggle.isOn());
    QTest::mouseClick(&toggle, Qt::LeftButton, {}, toggle.rect().center());
    EXPECT_FALSE(toggle.isOn());
    ASSERT_EQ(toggled.count(), 2);
    EXPECT_EQ(toggled[0][0].toBool(), true);
    EXPECT_EQ(toggle.accessibleDescription(), u"Off");
}

TEST_F(Controls, SwitchRowTogglesOnlyFromItsSwitch)
{
    TavrilonSwitchRow row(themes, u"Auto-switch"_qs, u"leaf.fill"_qs, std::nullopt);
    row.resize(260, row.sizeHint().height());
    row.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&row));
    QSignalSpy toggled(&row, &TavrilonSwitchRow::toggled);
    clickAt(row, QPoint(40, row.height() / 2));  // the title
    clickAt(row, QPoint(8, row.height() / 2));   // the icon
    EXPECT_FALSE(row.isOn());
    EXPECT_GT(row.toggle()->x(), 200);
    clickAt(row, row.toggle()->geometry().center());
    EXPECT_TRUE(row.isOn());
    EXPECT_EQ(toggled.count(), 1);

    TavrilonSwitchRow detailed(themes, u"Auto-switch"_qs, u"leaf.fill"_qs, u"Follows power and load"_qs);
    EXPECT_GT(detailed.sizeHint().height(), 0);
    EXPECT_GE(detailed.sizeHint().height(), row.sizeHint().height());
}

TEST_F(Controls, ModePickerSharesTheWidthAndSelectsTheClickedMode)
{
    const QList<PerformanceMode> modes{PerformanceMode::balanced, PerformanceMode::batterySaver, PerformanceMode::developer};
    TavrilonModePicker picker(themes, modes, PerformanceMode::balanced);
    picker.resize(308, picker.sizeHint().height());
    const QList<QRectF> rects = TavrilonModePicker::buttonRects(picker.buttonsArea(), 3);
    ASSERT_EQ(rects.size(), 3);
    EXPECT_DOUBLE_EQ(rects[0].width(), 100);
    EXPECT_DOUBLE_EQ(rects[2].width(), 100);
    EXPECT_DOUBLE_EQ(rects[2].right(), 308);

    QSignalSpy changed(&picker, &TavrilonModePicker::selectionChanged);
    QTest::mouseClick(&picker, Qt::LeftButton, {}, rects[2].center().toPoint());
    EXPECT_EQ(picker.selection(), PerformanceMode::developer);
    EXPECT_EQ(picker.highlightedIndex(), 2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<PerformanceMode>(), PerformanceMode::developer);

    picker.setSelection(PerformanceMode::gaming);
    EXPECT_EQ(picker.highlightedIndex(), -1);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(Controls, SecondaryButtonRunsItsActionOncePerClick)
{
    TavrilonSecondaryButton button(themes, u"Open Dashboard"_qs, u"chevron.right"_qs);
    button.resize(200, button.sizeHint().height());
    int runs = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++runs; });
    QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
    EXPECT_EQ(runs, 1);
}

TEST_F(Controls, HeroButtonWhileBusyIsDisabledAndItsSheenRuns)
{
    TavrilonHeroButton hero(themes, u"Optimize Now"_qs, u"Free memory and clean caches"_qs, u"flame.fill"_qs);
    EXPECT_EQ(hero.accessibleName(), u"Optimize Now. Free memory and clean caches");
    hero.setSubtitle(std::nullopt);
    EXPECT_EQ(hero.accessibleName(), u"Optimize Now");

    hero.resize(280, hero.sizeHint().height());
    int runs = 0;
    QObject::connect(&hero, &QAbstractButton::clicked, [&] { ++runs; });
    QTest::mouseClick(&hero, Qt::LeftButton, {}, hero.rect().center());
    EXPECT_EQ(runs, 1);

    hero.setBusy(true);
    QTest::mouseClick(&hero, Qt::LeftButton, {}, hero.rect().center());
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(hero.isEnabled());
    EXPECT_TRUE(hero.sheenVisible());

    // Frames run only while the button is on screen.
    EXPECT_FALSE(hero.isAnimating());
    hero.move(400, 400);
    hero.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&hero));
    EXPECT_TRUE(hero.isAnimating());
    hero.hide();
    EXPECT_FALSE(hero.isAnimating());
    hero.show();
    EXPECT_TRUE(hero.isAnimating());
    hero.setBusy(false);
    // The pointer goes away; a resting button needs no frames.
    QCursor::setPos(hero.mapToGlobal(QPoint(-300, -300)));
    QTest::mouseMove(&hero, QPoint(-300, -300));
    EXPECT_TRUE(waitFor([&] { return !hero.isAnimating(); }));
}

TEST(HeroButtonMotion, SheenSweepsEveryCycleAndPressShrinks)
{
    EXPECT_DOUBLE_EQ(TavrilonHeroButton::sheenAt(0), -1.2);
    EXPECT_NEAR(TavrilonHeroButton::sheenAt(1.2), 0.1, 1e-9);
    EXPECT_NEAR(TavrilonHeroButton::sheenAt(2.4), -1.2, 1e-9);
    EXPECT_NEAR(TavrilonHeroButton::sheenAt(2.399), 1.4, 0.01);
    EXPECT_DOUBLE_EQ(TavrilonHeroButton::scaleFor(true, true), 0.975);
    EXPECT_DOUBLE_EQ(TavrilonHeroButton::scaleFor(false, true), 1.012);
    EXPECT_DOUBLE_EQ(TavrilonHeroButton::scaleFor(false, false), 1.0);
}

TEST_F(Controls, GaugeSweepsUpWhenShownAndStopsItsFramesWhenHidden)
{
    HexGauge gauge(themes);
    gauge.setValue(1.4);
    EXPECT_EQ(gauge.settled(), 0.0);
    EXPECT_FALSE(gauge.isAnimating());  // nothing runs before it is on screen
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
    EXPECT_TRUE(gauge.isAnimating());
    EXPECT_TRUE(waitFor([&] { return gauge.settled() == 1.0 && !gauge.isAnimating(); }));

    gauge.setValue(0.2);
    EXPECT_TRUE(gauge.isAnimating());
    gauge.hide();
    EXPECT_FALSE(gauge.isAnimating());
    gauge.show();
    EXPECT_TRUE(waitFor([&] { return gauge.settled() == 0.2; }));
}

}  // namespace

namespace {

struct PaintCounter : QObject {
    int paints = 0;
    QList<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            rects << static_cast<QPaintEvent*>(e)->rect();
        }
        return false;
    }
};

}  // namespace

TEST_F(Controls, AGaugeRedrawsOnlyWhenItsArcVisiblyMoves)
{
    HexGauge gauge(themes);
    gauge.setValue(0.5);
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
    ASSERT_TRUE(waitFor([&] { return !gauge.isAnimating(); }));

    // Two percent moves the arc's end a few pixels: a handful of frames, and the last one at
    // rest, not a frame every 33 ms for the whole settling.
    PaintCounter counter;
    gauge.installEventFilter(&counter);
    gauge.setValue(0.52);
    ASSERT_TRUE(waitFor([&] { return !gauge.isAnimating(); }));
    QTest::qWait(50);
    EXPECT_EQ(gauge.settled(), 0.52);
    EXPECT_GE(counter.paints, 2);
    EXPECT_LE(counter.paints, 15);

    // A reading that only repeats the label draws nothing.
    counter.paints = 0;
    gauge.setLabel(gauge.label());
    gauge.setValue(0.52);
    QTest::qWait(100);
    EXPECT_EQ(counter.paints, 0);
}
