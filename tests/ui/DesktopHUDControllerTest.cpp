#include "core/UserDefaults.h"
#include "ui/shell/DesktopHUDController.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Content of a given preferred size with a close button, as the HUD's own has.
struct Content {
    QSize hint{300, 400};
    int built = 0;
    std::function<void()> close;

    std::function<QWidget*(std::function<void()>)> factory()
    {
        return [this](std::function<void()> onClose) -> QWidget* {
            ++built;
            close = std::move(onClose);
            struct Fixed : QWidget {
                QSize h;
                QSize sizeHint() const override { return h; }
            };
            auto* w = new Fixed;
            w->h = hint;
            return w;
        };
    }
};

struct Rig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    Content content;
    std::unique_ptr<DesktopHUDController> hud =
        std::make_unique<DesktopHUDController>(DesktopHUDDeps{.defaults = defaults, .makeContent = content.factory()});
};

}  // namespace

TEST(DesktopHUDController, PlacementOfANewPanel)
{
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const QRect available(0, 32, 1920, 1048);  // a top panel of 32
    const QSize size(340, 520);
    const struct {
        std::optional<QString> saved;
        QPoint expected;
    } cases[] = {
        {QStringLiteral("{200, 150}"), {200, 150}},
        {QStringLiteral("{2000.5, 900}"), {2001, 900}},                    // on the second screen
        {QStringLiteral("{3200, 10}"), {1920 - 340 - 24, 32 + 24}},        // right edge of the last screen: outside
        {QStringLiteral("{1919, 1079}"), {1919, 1079}},                    // last pixel inside
        {QStringLiteral("{100, 1080}"), {1920 - 340 - 24, 32 + 24}},       // bottom edge: outside
        {QStringLiteral("{-5, 10}"), {1920 - 340 - 24, 32 + 24}},          // a disconnected display on the left
        {QStringLiteral("garbage"), {0, 0}},                               // reads as (0, 0), on the primary display
        {std::nullopt, {1920 - 340 - 24, 32 + 24}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopHUDController::placement(c.saved, screens, available, size), c.expected)
            << c.saved.value_or(QStringLiteral("(none)")).toStdString();
    EXPECT_EQ(DesktopHUDController::placement(std::nullopt, {}, std::nullopt, size), QPoint(0, 0));
}

TEST(DesktopHUDController, OriginTextRoundTrips)
{
    const struct {
        QPointF point;
        QString text;
    } cases[] = {{{200, 150}, QStringLiteral("{200, 150}")},
                 {{-12.5, 0}, QStringLiteral("{-12.5, 0}")},
                 {{1e6, 3}, QStringLiteral("{1e+06, 3}")}};
    for (const auto& c : cases) {
        EXPECT_EQ(DesktopHUDController::originText(c.point), c.text);
        EXPECT_EQ(DesktopHUDController::parseOrigin(c.text), c.point) << c.text.toStdString();
    }
    EXPECT_EQ(DesktopHUDController::parseOrigin(QStringLiteral("{7}")), QPointF(7, 0));
    EXPECT_EQ(DesktopHUDController::parseOrigin(QStringLiteral("{1e999, 4}")), QPointF(0, 4));
}

TEST(DesktopHUDController, OnePanelForLifeKeptInPlaceAndEveryMoveRemembered)
{
    Rig r;
    EXPECT_EQ(r.hud->panel(), nullptr);
    EXPECT_FALSE(r.hud->isPanelVisible());
    r.hud->show();
    ASSERT_NE(r.hud->panel(), nullptr);
    QWidget* first = r.hud->panel();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(first));
    EXPECT_EQ(first->size(), QSize(300, 400));
    EXPECT_TRUE(first->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(first->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(first->windowType(), Qt::Tool);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(first->pos(), QPoint(available.right() + 1 - 300 - 24, available.top() + 24));
    EXPECT_FALSE(r.defaults.getString(DesktopHUDController::frameKey).has_value()) << "placing stores nothing";

    first->move(40, 60);
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.defaults.getString(DesktopHUDController::frameKey).has_value(); }, 2000));
    EXPECT_EQ(r.defaults.getString(DesktopHUDController::frameKey), QStringLiteral("{40, 60}"));

    r.hud->toggle();
    EXPECT_FALSE(r.hud->isPanelVisible());
    r.hud->show();
    r.hud->show();
    EXPECT_EQ(r.hud->panel(), first);
    EXPECT_EQ(r.content.built, 1);
    EXPECT_EQ(first->pos(), QPoint(40, 60));

    // A restart reopens it where it was left, and a later move is still remembered.
    r.hud = std::make_unique<DesktopHUDController>(DesktopHUDDeps{.defaults = r.defaults, .makeContent = r.content.factory()});
    r.hud->show();
    EXPECT_EQ(r.hud->panel()->pos(), QPoint(40, 60));
    r.hud->panel()->move(70, 80);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return r.defaults.getString(DesktopHUDController::frameKey) == QStringLiteral("{70, 80}"); }, 2000));
}

TEST(DesktopHUDController, WhoStoresTheLaunchFlag)
{
    Rig r;
    r.defaults.setBool(DesktopHUDController::showOnLaunchKey, true);
    r.hud->show();
    // The HUD's own close button hides it and leaves the flag alone, as show and toggle do.
    ASSERT_TRUE(r.content.close);
    r.content.close();
    EXPECT_FALSE(r.hud->isPanelVisible());
    r.hud->toggle();
    EXPECT_TRUE(r.hud->isPanelVisible());
    r.hud->hide();
    EXPECT_EQ(r.defaults.getBool(DesktopHUDController::showOnLaunchKey), true);
}

TEST(DesktopHUDController, ContentWithoutASizeGivesTheDefaultPanel)
{
    Rig r;
    r.content.hint = QSize(0, 0);
    r.hud->show();
    EXPECT_EQ(r.hud->panel()->size(), QSize(340, 520));
}
