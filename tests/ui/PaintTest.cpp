// Each decorative piece rendered offscreen: it draws something, and with the palette's colours.
#include "core/UserDefaults.h"
#include "ui/theme/AnimatedWaveform.h"
#include "ui/theme/CircuitTexture.h"
#include "ui/theme/CornerBracketFrame.h"
#include "ui/theme/HUDPanel.h"
#include "ui/theme/HexGauge.h"
#include "ui/theme/NeonGlowEffect.h"
#include "ui/theme/ScanLineOverlay.h"
#include "ui/theme/Shadow.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/TavrilonHeroButton.h"
#include "ui/theme/TavrilonModePicker.h"
#include "ui/theme/TavrilonToggle.h"
#include "ui/theme/ThemeManager.h"
#include "ui/theme/TintedMask.h"
#include "ui/dashboard/DashboardTab.h"
#include "ui/dashboard/ImageView.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QConicalGradient>
#include <QDir>
#include <QFile>
#include <QVBoxLayout>

#include <map>
#include <unistd.h>

namespace {

QImage canvas(int w, int h, QColor fill = Qt::transparent)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

bool isBlank(const QImage& img)
{
    const QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(a.pixel(x, y)) != 0) return false;
    return true;
}

// Some fairly opaque pixel lies within `tolerance` of `color` in each channel.
bool uses(const QImage& img, const QColor& color, int tolerance = 24)
{
    const QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            if (qAlpha(p) < 200) continue;
            if (std::abs(qRed(p) - color.red()) <= tolerance && std::abs(qGreen(p) - color.green()) <= tolerance &&
                std::abs(qBlue(p) - color.blue()) <= tolerance)
                return true;
        }
    }
    return false;
}

QImage render(QWidget& w, QSize size)
{
    w.resize(size);
    QImage img = canvas(size.width(), size.height());
    w.render(&img, {}, {}, QWidget::DrawChildren);
    return img;
}

// Context switches of each of Qt's pooled worker threads now: work handed to the pool shows as
// a thread that was not there or one that switched since.
std::map<QString, long> pooledThreadSwitches()
{
    std::map<QString, long> out;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid) + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("Thread (pooled)")) continue;
        QFile status(tasks.filePath(tid) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly)) continue;
        long switches = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.contains("ctxt_switches:")) switches += line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
        out[tid] = switches;
    }
    return out;
}

bool poolWorkedSince(const std::map<QString, long>& before)
{
    for (const auto& [tid, switches] : pooledThreadSwitches()) {
        const auto it = before.find(tid);
        if (it == before.end() || switches > it->second) return true;
    }
    return false;
}

class ThemedPaint : public ::testing::Test {
protected:
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(u"settings.json"_qs)};
    ThemeManager themes{defaults};
};

TEST(DecorationPaint, ScanLinesBrightenEveryFourthRowOnly)
{
    QImage img = canvas(20, 12, Qt::black);
    {
        QPainter p(&img);
        ScanLineOverlay::paint(p, QRectF(0, 0, 20, 12), true, Qt::white);
    }
    for (int y = 0; y < 12; ++y) EXPECT_EQ(qRed(img.pixel(5, y)) > 0, y % 4 == 0) << y;

    QImage off = canvas(20, 12, Qt::black);
    {
        QPainter p(&off);
        ScanLineOverlay::paint(p, QRectF(0, 0, 20, 12), false, Qt::white);
    }
    EXPECT_EQ(off, canvas(20, 12, Qt::black));
}

TEST(DecorationPaint, CircuitDrawsTracesInItsColour)
{
    QImage img = canvas(50, 30);
    {
        QPainter p(&img);
        CircuitTexture::paint(p, QRectF(0, 0, 50, 30), {.color = Qt::red, .opacity = 1, .spacing = 22});
    }
    EXPECT_GT(qAlpha(img.pixel(22, 10)), 0);
    EXPECT_GT(qRed(img.pixel(22, 10)), 0);
    EXPECT_EQ(qGreen(img.pixel(22, 10)), 0);
    EXPECT_EQ(qAlpha(img.pixel(10, 10)), 0);
}

TEST(DecorationPaint, BracketsHairlineAndGlowAppearOnlyWhenAsked)
{
    CornerBracketFrame::Style style{.color = Qt::green, .lineWidth = 2, .inset = 4};
    const QImage plain = CornerBracketFrame::render({100, 60}, style, 1);
    EXPECT_TRUE(uses(plain, Qt::green));
    EXPECT_EQ(qAlpha(plain.pixel(50, 4)), 0);  // between the brackets nothing without a hairline
    EXPECT_EQ(qAlpha(plain.pixel(9, 9)), 0);   // and no glow

    style.hairline = QColor(Qt::blue);
    const QImage framed = CornerBracketFrame::render({100, 60}, style, 1);
    EXPECT_GT(qBlue(framed.pixel(50, 4)), 0);

    style.hairline.reset();
    style.enableGlow = true;
    style.glow = QColor(Qt::red);
    const QImage glowing = CornerBracketFrame::render({100, 60}, style, 1);
    EXPECT_GT(qAlpha(glowing.pixel(9, 9)), 0);
    EXPECT_GT(qRed(glowing.pixel(9, 9)), qGreen(glowing.pixel(9, 9)));
}

TEST(DecorationPaint, GlowEffectSurroundsAWidgetOnlyWhenEnabled)
{
    QWidget host;
    host.resize(60, 60);
    auto* label = new QLabel(&host);
    label->setGeometry(20, 20, 20, 20);
    label->setStyleSheet(u"background: white"_qs);
    auto* effect = new NeonGlowEffect({Qt::red, 4, true});
    label->setGraphicsEffect(effect);
    QImage img = canvas(60, 60);
    host.render(&img, {}, {}, QWidget::DrawChildren);
    EXPECT_GT(qRed(img.pixel(17, 30)), 0);
    EXPECT_EQ(qGreen(img.pixel(17, 30)), 0);
    effect->setGlow({Qt::red, 4, false});
    QImage off = canvas(60, 60);
    host.render(&off, {}, {}, QWidget::DrawChildren);
    EXPECT_EQ(qAlpha(off.pixel(17, 30)), 0);
}

TEST_F(ThemedPaint, PanelFillsWithTheSurfaceAndDrawsItsCircuitOnRequest)
{
    themes.setCurrent(PaletteTheme::hud());
    HUDPanel panel(themes);
    auto* layout = new QVBoxLayout(&panel);
    layout->addWidget(new QWidget);
    const QImage withCircuit = render(panel, {200, 120});
    EXPECT_FALSE(isBlank(withCircuit));
    EXPECT_GT(qAlpha(withCircuit.pixel(100, 60)), 150);
    // The brackets stay on top of the content, in the accent.
    const QRgb corner = withCircuit.pixel(2, 8);
    EXPECT_GT(qRed(corner), qGreen(corner));

    panel.setShowCircuit(false);
    EXPECT_NE(render(panel, {200, 120}), withCircuit);
}

TEST_F(ThemedPaint, WaveformDrawsInTheAccentAndNothingForOneSample)
{
    themes.setCurrent(PaletteTheme::ember());
    AnimatedWaveform wave(themes);
    wave.setSamples({0.2, 0.8, 0.5, 0.9});
    const QImage img = render(wave, {160, 40});
    EXPECT_TRUE(uses(img, PaletteTheme::ember().accent, 30));

    wave.setSamples({0.5});
    EXPECT_TRUE(isBlank(render(wave, {160, 40})));
}

TEST_F(ThemedPaint, GaugeFaceFollowsThePaletteStyle)
{
    auto face = [](const PaletteTheme& t, double settled) {
        QImage img = canvas(80, 80);
        QPainter p(&img);
        if (t.gaugeStyle == GaugeStyle::hex)
            HexGauge::paintHex(p, QRectF(0, 0, 80, 80), settled, u"72"_qs, 40, 270, std::nullopt, t);
        else
            HexGauge::paintClassic(p, QRectF(0, 0, 80, 80), settled, u"72"_qs, std::nullopt, t);
        p.end();
        return img;
    };
    const QImage classic = face(PaletteTheme::pro(), 0.7);
    EXPECT_FALSE(isBlank(classic));
    EXPECT_EQ(qAlpha(classic.pixel(40, 12)), 0);  // a ring only, nothing inside it
    const QImage hex = face(PaletteTheme::qlx(), 0.7);
    EXPECT_TRUE(uses(hex, PaletteTheme::qlx().accent, 40));
    EXPECT_GT(qAlpha(hex.pixel(40, 25)), 0);  // the core
    EXPECT_NE(face(PaletteTheme::qlx(), 0.0), hex);
}

// A gauge's frames as the widget draws them, at one and two device pixels per point: the
// instrument face blurs its glows, its label's shadow and backdrop once and composes every frame
// from those layers; neither face hands work to the raster engine's worker threads; and the
// composed face looks like the one drawn from scratch.
TEST_F(ThemedPaint, GaugeFramesBlurNothingAndStayOnThisThread)
{
    for (const qreal dpr : {1.0, 2.0}) {
        for (const PaletteTheme& t : {PaletteTheme::qlx(), PaletteTheme::hud(), PaletteTheme::ember()}) {
            SCOPED_TRACE(t.id.toStdString() + " at " + std::to_string(dpr));
            const QImage arcFill = HexGauge::classicArcFill(QRectF(0, 0, 80, 80), dpr, HexGauge::arcColors(std::nullopt, t));
            const auto frame = [&](double settled, const QString& label, HexGauge::FaceCache* cache) {
                QImage img = canvas(int(80 * dpr), int(80 * dpr), QColor(12, 14, 20));
                img.setDevicePixelRatio(dpr);
                QPainter p(&img);
                if (t.gaugeStyle == GaugeStyle::classic) {
                    // As the widget draws it: the ring made once, the value over it.
                    HexGauge::paintClassicValue(p, QRectF(0, 0, 80, 80), settled, label, std::nullopt, t, &arcFill);
                } else if (cache) {
                    HexGauge::paintHex(p, QRectF(0, 0, 80, 80), settled, label, 40, 270, std::nullopt, t, *cache);
                } else {
                    HexGauge::paintHex(p, QRectF(0, 0, 80, 80), settled, label, 40, 270, std::nullopt, t);
                }
                p.end();
                return img;
            };
            auto cache = std::make_unique<HexGauge::FaceCache>();
            frame(0.05, u"5"_qs, cache.get());
            const int blurs = Shadow::blursMade();
            const auto pool = pooledThreadSwitches();
            QImage last;
            for (int i = 1; i <= 12; ++i) last = frame(0.05 + 0.07 * i, u"5"_qs, cache.get());
            EXPECT_FALSE(poolWorkedSince(pool));
            EXPECT_EQ(Shadow::blursMade(), blurs);
            if (t.gaugeStyle == GaugeStyle::classic) continue;
            // A new label: its shadow and its backdrop are blurred again, once each.
            frame(0.5, u"50"_qs, cache.get());
            EXPECT_LE(Shadow::blursMade(), blurs + 2);

            const QImage fresh = frame(0.89, u"5"_qs, nullptr);
            double total = 0;
            int far = 0;
            for (int y = 0; y < fresh.height(); ++y) {
                for (int x = 0; x < fresh.width(); ++x) {
                    const QRgb a = fresh.pixel(x, y), b = last.pixel(x, y);
                    const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                            std::abs(qBlue(a) - qBlue(b))});
                    total += d;
                    far += d > 40;
                }
            }
            if (t.id == u"hud"_qs && dpr == 2.0) {
                QDir().mkpath(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
                const QDir shots(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
                EXPECT_TRUE(last.save(shots.filePath(QStringLiteral("gauge_hex_composed.png"))));
                EXPECT_TRUE(fresh.save(shots.filePath(QStringLiteral("gauge_hex_drawn_afresh.png"))));
            }
            const double pixels = double(fresh.width() * fresh.height());
            EXPECT_LT(total / pixels, 3.0);
            EXPECT_LT(far / pixels, 0.01);
        }
    }
}

// The HUD's trend line is redrawn after every sample: none of its strokes or fills is handed to
// the raster engine's worker threads, in any palette, at one or two device pixels per point.
TEST_F(ThemedPaint, WaveformStaysOnThisThread)
{
    QList<double> samples;
    for (int i = 0; i < 60; ++i) samples << 0.3 + 0.25 * std::sin(i * 0.4);
    for (const qreal dpr : {1.0, 2.0}) {
        for (const PaletteTheme& t : {PaletteTheme::qlx(), PaletteTheme::hud(), PaletteTheme::ember()}) {
            SCOPED_TRACE(t.id.toStdString() + " at " + std::to_string(dpr));
            QImage img = canvas(int(308 * dpr), int(40 * dpr), QColor(12, 14, 20));
            img.setDevicePixelRatio(dpr);
            const auto pool = pooledThreadSwitches();
            for (int i = 0; i < 5; ++i) {
                QPainter p(&img);
                AnimatedWaveform::paint(p, QRectF(0, 0, 308, 40), samples, t);
            }
            EXPECT_FALSE(poolWorkedSince(pool));
            // The line is there: the accent shows along it.
            EXPECT_TRUE(uses(img, t.accent, 60));
        }
    }
}

// The label sits on a disc of the page's background at 72 % over a black shadow of the disc
// at 80 %: over what the gauge drew there, each channel is bg·0.72 + (1 − 0.72)·(1 − 0.8·0.72)·under.
TEST_F(ThemedPaint, GaugeLabelDiscCoversTheFaceAtSeventyTwoPercent)
{
    PaletteTheme t = PaletteTheme::qlx();
    t.background = QColor(255, 0, 0);  // a disc colour the face underneath does not have
    auto face = [&](const QString& label) {
        QImage img = canvas(80, 80, QColor(90, 140, 200));
        QPainter p(&img);
        HexGauge::paintHex(p, QRectF(0, 0, 80, 80), 0.7, label, 40, 270, std::nullopt, t);
        p.end();
        return img;
    };
    const QRgb under = face(QString()).pixel(40, 40);
    const QRgb disc = face(u" "_qs).pixel(40, 40);  // a disc with no ink on it
    const double a = 0.72;
    const double keep = (1 - a) * (1 - 0.8 * a);
    EXPECT_NEAR(qRed(disc), 255 * a + keep * qRed(under), 3);
    EXPECT_NEAR(qGreen(disc), keep * qGreen(under), 3);
    EXPECT_NEAR(qBlue(disc), keep * qBlue(under), 3);
}

TEST(ShadowCache, BlursOncePerLookAndDrawsWhatAFreshBlurDraws)
{
    const auto shape = [](const QRectF& r) {
        return [r](QPainter& lp) {
            QPainterPath path;
            path.addRoundedRect(r, 6, 6);
            lp.fillPath(path, Qt::black);
        };
    };
    Shadow::Cache cache;
    const auto paint = [&](const QRectF& r, const QColor& color, qreal radius, bool cached) {
        QImage img = canvas(120, 80);
        QPainter p(&img);
        if (cached) cache.draw(p, r, color, radius, {0, 3}, 6, shape(r));
        else Shadow::drawShadow(p, r, color, radius, {0, 3}, shape(r));
        p.end();
        return img;
    };
    const QRectF r(20, 15, 60, 30);
    const QColor blue(20, 60, 200, 140);
    EXPECT_EQ(paint(r, blue, 10, true), paint(r, blue, 10, false));
    EXPECT_EQ(paint(r, blue, 10, true), paint(r, blue, 10, false));
    EXPECT_EQ(cache.blurs(), 1);
    // Moved, also by a fraction of a pixel: the same blur, drawn where the shape now is.
    const QRectF moved = r.translated(7.5, 4.25);
    EXPECT_EQ(paint(moved, blue, 10, true), paint(moved, blue, 10, false));
    EXPECT_EQ(cache.blurs(), 1);

    // A new size, colour or radius is a new blur; the hovered and resting looks are both kept.
    const struct {
        QRectF area;
        QColor color;
        qreal radius;
    } looks[] = {{r.adjusted(0, 0, 10, 0), blue, 10}, {r, QColor(200, 20, 20, 140), 10}, {r, blue, 16}};
    for (const auto& look : looks) {
        const int before = cache.blurs();
        EXPECT_EQ(paint(look.area, look.color, look.radius, true), paint(look.area, look.color, look.radius, false));
        EXPECT_EQ(cache.blurs(), before + 1);
    }
    paint(r, blue, 16, true);
    paint(r, blue, 10, true);
    EXPECT_EQ(cache.blurs(), 4);
    cache.invalidate();
    paint(r, blue, 10, true);
    EXPECT_EQ(cache.blurs(), 5);
}

TEST_F(ThemedPaint, ControlsFillWithThePaletteStops)
{
    themes.setCurrent(PaletteTheme::ember());
    const QColor first = PaletteTheme::ember().accent;

    TavrilonToggle toggle(themes);
    const QImage off = render(toggle, toggle.sizeHint());
    EXPECT_TRUE(uses(off, Qt::white, 10));  // the knob
    EXPECT_FALSE(uses(off, first, 30));
    toggle.setOn(true);
    EXPECT_TRUE(uses(render(toggle, toggle.sizeHint()), first, 30));

    TavrilonHeroButton hero(themes, u"Optimize Now"_qs, std::nullopt, u"flame.fill"_qs);
    EXPECT_TRUE(uses(render(hero, {260, 80}), first, 40));

    TavrilonModePicker picker(themes, {PerformanceMode::balanced, PerformanceMode::gaming}, PerformanceMode::gaming);
    EXPECT_TRUE(uses(render(picker, {120, 40}), PaletteTheme::ember().accentSecondary, 40));
    picker.setSelection(PerformanceMode::developer);
    const QImage none = render(picker, {120, 40});
    EXPECT_FALSE(uses(none, PaletteTheme::ember().accentSecondary, 40));
    EXPECT_FALSE(uses(none, first, 40));
}

TEST(Symbols, EveryNameTheControlsUseHasAnIconThatDraws)
{
    QStringList names{u"hourglass"_qs, u"chevron.right"_qs};
    for (PerformanceMode m : PerformanceModes::all) names << TavrilonModePicker::iconName(m);
    // The dashboard's: tab buttons, the VRAX badge, the Overview's charts and warnings, the
    // status cards (thermometers by state) and the status dot.
    for (DashboardTab t : DashboardTabs::all) names << DashboardTabs::icon(t);
    names << u"antenna.radiowaves.left.and.right"_qs << u"cpu"_qs << u"memorychip"_qs << u"drop.triangle.fill"_qs
          << u"chart.line.uptrend.xyaxis"_qs << u"internaldrive"_qs << u"list.bullet.rectangle"_qs << u"network"_qs
          << u"thermometer.low"_qs << u"thermometer.medium"_qs << u"thermometer.high"_qs << u"thermometer.sun.fill"_qs
          << u"circle.fill"_qs;
    // The History tab's kinds of action and its empty state; the Processes tab's row symbols.
    names << u"xmark.octagon.fill"_qs << u"tortoise.fill"_qs << u"trash.fill"_qs << u"externaldrive.badge.minus"_qs
          << u"exclamationmark.triangle.fill"_qs << u"bell.badge.fill"_qs << u"checkmark.shield.fill"_qs
          << u"clock.arrow.circlepath"_qs << u"lock.shield.fill"_qs << u"lock.fill"_qs << u"xmark.circle.fill"_qs;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(SymbolIcon::exists(name));
        QImage img = canvas(24, 24);
        QPainter p(&img);
        SymbolIcon::paint(p, QRectF(0, 0, 24, 24), name, QBrush(Qt::red));
        p.end();
        EXPECT_TRUE(uses(img, Qt::red, 0));
    }
    EXPECT_FALSE(SymbolIcon::exists(u"no.such.symbol"_qs));
    // The sidebar's two pictures.
    EXPECT_TRUE(ImageView(u"VeltranmoorMark"_qs, {140, 140}).isValid());
    EXPECT_TRUE(ImageView(u"MakerLogo"_qs, {26, 26}).isValid());
}

}  // namespace

namespace {

// Context switches of every thread but the main one, threads born since included.
long otherThreadSwitches()
{
    long total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (tid.toLong() == long(getpid())) continue;
        QFile status(tasks.filePath(tid) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
    }
    return total;
}

}  // namespace

TEST(TintedMask, DrawsWhatATranslucentPenDrawsWithoutWakingPaintWorkers)
{
    const QSize size(160, 160);
    const QRectF ring(10, 10, 140, 140);
    QConicalGradient gradient(QPointF(80, 80) * 2, 90);
    gradient.setColorAt(0, QColor(255, 80, 40, 230));
    gradient.setColorAt(1, QColor(255, 80, 40, 90));
    auto arc = [&](QPainter& p, const QBrush& brush) {
        p.setPen(QPen(brush, 12, Qt::SolidLine, Qt::FlatCap));
        // From 3 o'clock round to 10, clear of the gradient's seam at 12.
        p.drawArc(ring, 0, -210 * 16);
    };

    const long before = otherThreadSwitches();
    QImage tinted;
    for (int i = 0; i < 20; ++i) tinted = tintedMask(size, 2.0, [&](QPainter& p) { arc(p, Qt::white); }, gradient);
    const long tintedSwitches = otherThreadSwitches() - before;

    // The same arc drawn straight with its gradient pen: the raster engine splits it across
    // its workers.
    QImage direct(size * 2, QImage::Format_ARGB32_Premultiplied);
    direct.setDevicePixelRatio(2.0);
    const long beforeDirect = otherThreadSwitches();
    for (int i = 0; i < 20; ++i) {
        direct.fill(Qt::transparent);
        QPainter p(&direct);
        p.setRenderHint(QPainter::Antialiasing);
        QConicalGradient logical(QPointF(80, 80), 90);
        logical.setStops(gradient.stops());
        arc(p, logical);
    }
    const long directSwitches = otherThreadSwitches() - beforeDirect;

    ASSERT_EQ(tinted.size(), direct.size());
    EXPECT_EQ(tinted.devicePixelRatio(), 2.0);
    int worst = 0;
    for (int y = 0; y < tinted.height(); ++y) {
        for (int x = 0; x < tinted.width(); ++x) {
            const QRgb a = tinted.pixel(x, y), b = direct.pixel(x, y);
            worst = std::max({worst, std::abs(qAlpha(a) - qAlpha(b)), std::abs(qRed(a) - qRed(b)),
                              std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
        }
    }
    EXPECT_LE(worst, 3) << "the same coverage in the same colours";
    if (directSwitches < 20) GTEST_SKIP() << "this Qt paints a translucent gradient on one thread";
    EXPECT_LE(tintedSwitches, 2) << "against " << directSwitches << " drawn directly";
}
