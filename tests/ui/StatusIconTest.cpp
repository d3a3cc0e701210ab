// The tray icon: colour bands, title text, and what the rendered image holds where.
#include "ui/shell/StatusIcon.h"
#include "ui/theme/PaletteTheme.h"

#include <gtest/gtest.h>

namespace {

bool near(const QColor& a, const QColor& b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// Opaque pixels of `rect` close to `color`.
int countNear(const QImage& image, const QRectF& rect, const QColor& color, int tolerance = 40)
{
    int n = 0;
    const QRect r = rect.toAlignedRect().intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && near(c, color, tolerance)) ++n;
        }
    return n;
}

QColor at(const QImage& image, QPointF p) { return image.pixelColor(p.toPoint()); }

const PaletteTheme& palette() { return PaletteTheme::ember(); }

}  // namespace

TEST(StatusIcon, ColourBands)
{
    const PaletteTheme& t = palette();
    for (auto [score, color] : std::initializer_list<std::pair<int64_t, QColor>>{
             {100, t.success}, {80, t.success}, {79, t.warning}, {50, t.warning}, {49, t.danger}, {0, t.danger},
             {101, t.danger}, {-1, t.danger}})
        EXPECT_EQ(scoreColor(score, t), color) << score;

    const struct {
        int level;
        bool charging;
        QColor color;
    } battery[] = {{5, true, t.success},    {50, false, t.textDim}, {100, false, t.textDim}, {49, false, t.warning},
                   {20, false, t.warning},  {19, false, t.danger},  {101, false, t.danger},  {-1, false, t.danger}};
    for (const auto& b : battery) EXPECT_EQ(batteryColor({b.level, b.charging}, t), b.color) << b.level;
}

TEST(StatusIcon, SnoozeDotAndTitle)
{
    const struct {
        bool enabled, running, camera, access;
        SnoozeDot dot;
        const char* text;
    } cases[] = {
        {false, true, true, true, SnoozeDot::disabled, " \u25CB"},  // off wins over everything
        {true, true, false, false, SnoozeDot::armed, " \u25CF"},
        {true, true, true, false, SnoozeDot::partial, " \u25D0"},
        {true, true, false, true, SnoozeDot::partial, " \u25D0"},
        {true, false, false, false, SnoozeDot::stopped, " \u25CB"},
    };
    for (const auto& c : cases) {
        const SnoozeDot dot = snoozeDot(c.enabled, c.running, c.camera, c.access);
        EXPECT_EQ(dot, c.dot);
        EXPECT_EQ(snoozeDotText(dot), QString::fromUtf8(c.text));
    }
    EXPECT_NE(snoozeDotColor(SnoozeDot::disabled), snoozeDotColor(SnoozeDot::stopped));

    EXPECT_EQ(statusTitle({87, std::nullopt, SnoozeDot::armed}), QStringLiteral(" 87 \u25CF"));
    EXPECT_EQ(statusTitle({87, StatusIconState::Battery{54, false}, SnoozeDot::disabled}),
              QStringLiteral(" 87 \u00B7 54% \u25CB"));
}

TEST(StatusIcon, ScoreIsDrawnInItsBandColour)
{
    const PaletteTheme& t = palette();
    for (int side : {22, 64}) {
        const StatusIconLayout layout = StatusIconLayout::forSide(side, 0);
        for (auto [score, band] : std::initializer_list<std::pair<int64_t, QColor>>{
                 {100, t.success}, {80, t.success}, {79, t.warning}, {50, t.warning}, {49, t.danger}, {0, t.danger}}) {
            const QImage image = renderStatusIcon({score, std::nullopt, SnoozeDot::disabled}, t, side);
            ASSERT_EQ(image.size(), QSize(side, side));
            EXPECT_GT(countNear(image, layout.score, band, 60), side == 64 ? 20 : 2) << side << " " << score;
            for (const QColor& other : {t.success, t.warning, t.danger})
                if (other != band) EXPECT_LT(countNear(image, layout.score, other, 20), 3) << side << " " << score;
        }
    }
}

TEST(StatusIcon, BatteryBarFollowsLevelAndIsAbsentWithoutBattery)
{
    const PaletteTheme& t = palette();
    const int side = 64;
    const struct {
        int level;
        bool charging;
    } levels[] = {{80, false}, {30, false}, {10, false}, {10, true}};
    for (const auto& b : levels) {
        const StatusIconState::Battery battery{b.level, b.charging};
        const QImage image = renderStatusIcon({90, battery, SnoozeDot::disabled}, t, side);
        const StatusIconLayout layout = StatusIconLayout::forSide(side, b.level);
        const QColor color = batteryColor(battery, t);
        const double midY = layout.batteryFill.center().y();
        EXPECT_TRUE(near(at(image, {layout.batteryFill.left() + 2, midY}), color, 10)) << b.level;
        EXPECT_TRUE(near(at(image, {layout.batteryFill.right() - 2, midY}), color, 10)) << b.level;
        // Past the level the track shows, not the colour.
        EXPECT_FALSE(near(at(image, {layout.batteryTrack.right() - 3, midY}), color, 10)) << b.level;
    }
    const QImage none = renderStatusIcon({90, std::nullopt, SnoozeDot::disabled}, t, side);
    const StatusIconLayout layout = StatusIconLayout::forSide(side, 100);
    for (double x = layout.batteryTrack.left() + 1; x < layout.batteryTrack.right() - 1; x += 4)
        EXPECT_LT(at(none, {x, layout.batteryTrack.center().y() + 1}).alpha(), 10) << x;
}

TEST(StatusIcon, SnoozeDotDrawing)
{
    const PaletteTheme& t = palette();
    const int side = 64;
    const StatusIconLayout layout = StatusIconLayout::forSide(side, 0);
    const QPointF centre = layout.dot.center();
    const double r = layout.dot.width() / 2 - 2;  // the dot's outer radius
    const QPointF ringLeft(centre.x() - r + 1.5, centre.y());
    const QPointF ringRight(centre.x() + r - 1.5, centre.y());
    const QPointF innerRight(centre.x() + r / 3, centre.y());

    auto render = [&](SnoozeDot dot) { return renderStatusIcon({90, std::nullopt, dot}, t, side); };
    const QColor green = snoozeDotColor(SnoozeDot::armed), yellow = snoozeDotColor(SnoozeDot::partial),
                 grey = snoozeDotColor(SnoozeDot::disabled), red = snoozeDotColor(SnoozeDot::stopped);

    const QImage armed = render(SnoozeDot::armed);
    EXPECT_TRUE(near(at(armed, centre), green, 10));
    EXPECT_TRUE(near(at(armed, innerRight), green, 10));

    // Half filled: the leading half solid, the trailing half only a ring.
    const QImage partial = render(SnoozeDot::partial);
    EXPECT_TRUE(near(at(partial, {centre.x() - r / 3, centre.y()}), yellow, 10));
    EXPECT_TRUE(near(at(partial, ringRight), yellow, 30));
    EXPECT_FALSE(near(at(partial, innerRight), yellow, 60));

    for (auto [dot, color] : {std::pair{SnoozeDot::disabled, grey}, std::pair{SnoozeDot::stopped, red}}) {
        const QImage ring = render(dot);
        EXPECT_TRUE(near(at(ring, ringLeft), color, 30));
        EXPECT_TRUE(near(at(ring, ringRight), color, 30));
        EXPECT_FALSE(near(at(ring, centre), color, 60));
    }
}
