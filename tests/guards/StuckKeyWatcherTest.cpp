// The stuck-key watcher's rules on virtual time, fed through a scripted keyboard: held letters
// are released and reported after 3 s, bursts of key mashing are reported once per minute,
// and a missing or impossible listener is reported the way the status item shows it.
#include "core/Log.h"
#include "guards/StuckKeyWatcher.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using KeyEvent = KeyEventSource::KeyEvent;

namespace {

class ScriptedKeyboard final : public KeyEventSource {
public:
    Trust trustAnswer = Trust::trusted;
    bool installs = true;
    std::function<void(const KeyEvent&)> handler;
    QList<qint64> keyUps;
    int installCount = 0;

    Trust trust() const override { return trustAnswer; }
    QString unavailableReason() const override { return QStringLiteral("no X11 display"); }
    bool install(std::function<void(const KeyEvent&)> h) override
    {
        ++installCount;
        if (installs) handler = std::move(h);
        return installs;
    }
    void uninstall() override { handler = nullptr; }
    bool postKeyUp(qint64 keycode) override
    {
        keyUps << keycode;
        return true;
    }

    void send(KeyEvent::Type type, qint64 code, bool letter = true)
    {
        // Letters carry their cap's label, as the X source gives them: code 38 is "A".
        const QString label = letter ? QString(QLatin1Char(char('A' + (code - 38) % 26))) : QString();
        if (handler) handler(KeyEvent{.type = type, .keycode = code, .letter = letter, .label = label});
    }
    void down(qint64 code, bool letter = true) { send(KeyEvent::Type::keyDown, code, letter); }
    void up(qint64 code, bool letter = true) { send(KeyEvent::Type::keyUp, code, letter); }
    void command(bool held)
    {
        if (handler) handler(KeyEvent{.type = KeyEvent::Type::modifiersChanged, .commandDown = held});
    }
};

struct KeyRig {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    ScriptedKeyboard keyboard;
    StuckKeyWatcher watcher{keyboard, clock, scheduler};
    QList<StuckKeyEvent> found;
    QStringList lines;

    KeyRig()
    {
        Log::setSink([this](const QString& l) { lines << l; });
        QObject::connect(&watcher, &StuckKeyWatcher::eventOccurred, [this](const StuckKeyEvent& e) { found << e; });
    }
    ~KeyRig() { Log::setSink({}); }

    // `count` key-downs (each followed by its key-up) over `letters` letters, `gap` apart.
    void mash(int count, int letters, std::chrono::milliseconds gap)
    {
        for (int i = 0; i < count; ++i) {
            const qint64 code = 24 + i % letters;
            keyboard.down(code);
            keyboard.up(code);
            scheduler.advance(gap);
        }
    }
};

}  // namespace

TEST(StuckKeyWatcher, HeldKeys)
{
    struct Case {
        const char* name;
        bool letter;
        bool commandFirst;
        std::chrono::milliseconds hold;  // before the key-up; nothing reported past it
        bool reported;
    };
    const Case cases[] = {
        {"a letter held 2.9 s and released", true, false, 2900ms, false},
        {"a letter held 3.0 s", true, false, 3250ms, true},
        {"a letter held while Super is down", true, true, 10s, false},
        {"a digit or the space bar held 10 s", false, false, 10s, false},
    };
    for (const auto& c : cases) {
        KeyRig r;
        r.watcher.start();
        ASSERT_TRUE(r.watcher.isRunning());
        if (c.commandFirst) r.keyboard.command(true);
        r.keyboard.down(38, c.letter);
        EXPECT_EQ(r.watcher.isPolling(), c.letter) << c.name << ": the poll runs only while a letter is down";
        r.scheduler.advance(c.hold);
        r.keyboard.up(38, c.letter);
        r.scheduler.advance(1s);

        if (c.reported) {
            ASSERT_EQ(r.found.size(), 1) << c.name;
            EXPECT_EQ(r.found[0].keycode, 38);
            EXPECT_EQ(r.found[0].label, QStringLiteral("A"));
            EXPECT_GE(r.found[0].heldFor, 3.0);
            EXPECT_LE(r.found[0].heldFor, 3.25) << "found within one poll pass";
            EXPECT_EQ(r.keyboard.keyUps, QList<qint64>{38}) << "released for the user";
        } else {
            EXPECT_TRUE(r.found.isEmpty()) << c.name;
            EXPECT_TRUE(r.keyboard.keyUps.isEmpty()) << c.name;
        }
        EXPECT_FALSE(r.watcher.isPolling()) << c.name << ": no key down, no wakeups";
        EXPECT_EQ(r.scheduler.pendingCount(), 0) << c.name;
    }
}

TEST(StuckKeyWatcher, AKeyIsReportedAgainOnlyAfterTheRebounceOrARealRelease)
{
    KeyRig r;
    r.watcher.start();
    r.keyboard.down(38);
    r.scheduler.advance(3s);
    ASSERT_EQ(r.found.size(), 1);

    // Still down, no key-up reached us: automatic repeats start a new hold.
    r.keyboard.down(38);
    r.scheduler.advance(30s);
    EXPECT_EQ(r.found.size(), 1) << "within 60 s of the report";
    r.scheduler.advance(30s);
    ASSERT_EQ(r.found.size(), 2) << "60 s after the report";

    // Stopping and starting keeps the rebounce.
    r.watcher.stop();
    r.watcher.start();
    r.keyboard.down(38);
    r.scheduler.advance(10s);
    EXPECT_EQ(r.found.size(), 2);

    // A real key-up forgets it: another 3 s of holding is enough.
    r.keyboard.up(38);
    r.keyboard.down(38);
    r.scheduler.advance(3s);
    EXPECT_EQ(r.found.size(), 3);
    EXPECT_EQ(r.keyboard.keyUps, (QList<qint64>{38, 38, 38}));
}

TEST(StuckKeyWatcher, KeyMashBursts)
{
    struct Case {
        const char* name;
        int count;
        int letters;
        int bursts;
    };
    const Case cases[] = {
        {"45 key-downs over 6 letters", 45, 6, 1},
        {"45 key-downs over 5 letters", 45, 5, 0},
        {"44 key-downs over 10 letters", 44, 10, 0},
        {"one letter on automatic repeat", 60, 1, 0},
    };
    for (const auto& c : cases) {
        KeyRig r;
        r.watcher.start();
        r.mash(c.count, c.letters, 60ms);  // 45 key-downs take 2.7 s
        ASSERT_EQ(r.found.size(), c.bursts) << c.name;
        for (const auto& e : r.found) {
            EXPECT_EQ(e.keycode, -1);
            EXPECT_EQ(e.heldFor, 3.0);
        }
        EXPECT_TRUE(r.keyboard.keyUps.isEmpty()) << "a burst releases nothing";
    }

    // Spread too thin: 45 key-downs over 6 letters across 4.4 s never fill the window.
    KeyRig slow;
    slow.watcher.start();
    slow.mash(45, 6, 100ms);
    EXPECT_TRUE(slow.found.isEmpty());
}

TEST(StuckKeyWatcher, ASecondBurstWaitsAMinute)
{
    KeyRig r;
    r.watcher.start();
    r.mash(45, 6, 10ms);
    ASSERT_EQ(r.found.size(), 1);
    r.scheduler.advance(30s);
    r.mash(45, 6, 10ms);
    EXPECT_EQ(r.found.size(), 1) << "30 s after the first";
    r.scheduler.advance(30s);
    r.mash(45, 6, 10ms);
    EXPECT_EQ(r.found.size(), 2) << "60 s after the first";

    // Super held: mashing shortcuts is not a burst.
    r.scheduler.advance(2min);
    r.keyboard.command(true);
    r.mash(45, 6, 10ms);
    EXPECT_EQ(r.found.size(), 2);
}

TEST(StuckKeyWatcher, WithoutAListener)
{
    // Wayland: said once, shown as denied, nothing polls for a permission that cannot come.
    {
        KeyRig r;
        r.keyboard.trustAnswer = KeyEventSource::Trust::unavailable;
        r.watcher.start();
        r.watcher.start();
        EXPECT_EQ(r.lines, QStringList{QStringLiteral("[SnoozeGuard] stuck-key watcher not available: no X11 display")});
        EXPECT_TRUE(r.watcher.permissionDenied());
        EXPECT_FALSE(r.watcher.isRunning());
        EXPECT_EQ(r.scheduler.pendingCount(), 0);
        EXPECT_EQ(r.keyboard.installCount, 0);
    }
    // The listener cannot be installed: said, denied, no retry.
    {
        KeyRig r;
        r.keyboard.installs = false;
        r.watcher.start();
        EXPECT_EQ(r.lines, QStringList{QStringLiteral("[SnoozeGuard] CGEvent.tapCreate failed (likely missing Accessibility)")});
        EXPECT_TRUE(r.watcher.permissionDenied());
        EXPECT_FALSE(r.watcher.isRunning());
        r.scheduler.advance(10s);
        EXPECT_EQ(r.keyboard.installCount, 1);
    }
    // Not yet allowed: polled every 2 s until it is, then running.
    {
        KeyRig r;
        r.keyboard.trustAnswer = KeyEventSource::Trust::notTrusted;
        r.watcher.start();
        EXPECT_TRUE(r.watcher.permissionDenied());
        EXPECT_TRUE(r.watcher.isTrustPolling());
        r.scheduler.advance(4s);
        EXPECT_FALSE(r.watcher.isRunning());
        r.keyboard.trustAnswer = KeyEventSource::Trust::trusted;
        r.scheduler.advance(2s);
        EXPECT_EQ(r.lines, QStringList{QStringLiteral("[SnoozeGuard] Accessibility granted post-launch \u2014 installing CGEventTap")});
        EXPECT_TRUE(r.watcher.isRunning());
        EXPECT_FALSE(r.watcher.permissionDenied());
        EXPECT_FALSE(r.watcher.isTrustPolling());
    }
    // Stopped while waiting: a permission arriving later does not start it.
    {
        KeyRig r;
        r.keyboard.trustAnswer = KeyEventSource::Trust::notTrusted;
        r.watcher.start();
        r.watcher.stop();
        r.keyboard.trustAnswer = KeyEventSource::Trust::trusted;
        r.scheduler.advance(10s);
        EXPECT_FALSE(r.watcher.isRunning());
        EXPECT_EQ(r.keyboard.installCount, 0);
    }
}
