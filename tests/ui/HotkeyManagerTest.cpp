// The hotkey table and the manager's registrations, against a recording shortcut.
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "platform/GlobalShortcut.h"
#include "ui/shell/HotkeyManager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

struct RecordingShortcut final : GlobalShortcut {
    bool available = true;
    int failWith = 0;
    QStringList journal;
    bool isAvailable() const override { return available; }
    int grab(uint32_t keysym, uint32_t modifiers) override
    {
        journal << QStringLiteral("grab %1 %2").arg(QChar(char16_t(keysym))).arg(modifiers);
        return failWith;
    }
    void release() override { journal << QStringLiteral("release"); }
};

struct HotkeyRig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    RecordingShortcut shortcut;
    int toggles = 0;
    HotkeyManager manager{defaults, shortcut, [this] { ++toggles; }};
    QStringList logged;
    HotkeyRig() { Log::setSink([this](const QString& l) { logged << l; }); }
    ~HotkeyRig() { Log::setSink({}); }
};

}  // namespace

TEST(HotkeyChoice, TableAndLookup)
{
    using M = GlobalShortcut::Modifier;
    const QList<HotkeyChoice>& all = HotkeyChoice::all();
    ASSERT_EQ(all.size(), 6);
    QStringList labels;
    for (const HotkeyChoice& c : all) labels << c.label;
    EXPECT_EQ(labels, (QStringList{"Off", "Super+Alt+H", "Super+Alt+G", "Ctrl+Alt+H", "Super+Shift+H", "Super+Ctrl+Alt+M"}));
    EXPECT_EQ(HotkeyChoice::find(QStringLiteral("cmd-opt-g")), (HotkeyChoice{"cmd-opt-g", "Super+Alt+G", 'g', M::super | M::alt}));
    EXPECT_EQ(HotkeyChoice::find(QStringLiteral("cmd-ctrl-opt-m")).modifiers, uint32_t(M::super | M::control | M::alt));
    EXPECT_EQ(HotkeyChoice::find(QStringLiteral("CMD-OPT-H")), HotkeyChoice::off()) << "ids match exactly";
    EXPECT_EQ(HotkeyChoice::find(QString()), HotkeyChoice::off());
}

TEST(HotkeyManager, RegistersTheStoredChoiceAndFollowsChanges)
{
    using M = GlobalShortcut::Modifier;
    HotkeyRig r;
    r.manager.start();
    EXPECT_TRUE(r.shortcut.journal.isEmpty()) << "nothing stored: nothing grabbed";

    r.manager.registerChoice(QStringLiteral("cmd-opt-h"));
    r.manager.registerChoice(QStringLiteral("cmd-opt-g"));
    r.manager.registerChoice(QStringLiteral("off"));
    r.manager.registerChoice(QStringLiteral("nonsense"));
    EXPECT_EQ(r.shortcut.journal, (QStringList{QStringLiteral("grab h %1").arg(M::super | M::alt), "release",
                                               QStringLiteral("grab g %1").arg(M::super | M::alt), "release"}));
    EXPECT_FALSE(r.manager.registered());

    // The settings store is observed: a new value re-registers.
    r.shortcut.journal.clear();
    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("ctrl-opt-h"));
    QCoreApplication::processEvents();
    EXPECT_EQ(r.shortcut.journal, QStringList{QStringLiteral("grab h %1").arg(M::control | M::alt)});
    ASSERT_TRUE(r.manager.registered());
    EXPECT_EQ(r.manager.registered()->id, QStringLiteral("ctrl-opt-h"));

    // Calling start again observes once.
    r.manager.start();
    r.shortcut.journal.clear();
    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("off"));
    QCoreApplication::processEvents();
    EXPECT_EQ(r.shortcut.journal, QStringList{"release"});

    // A press toggles the HUD after the event is handled.
    r.shortcut.onPressed();
    EXPECT_EQ(r.toggles, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.toggles, 1);
}

TEST(HotkeyManager, FailureAndWaylandAreLoggedAndTheSettingStays)
{
    HotkeyRig r;
    r.shortcut.failWith = 10;
    r.defaults.setString(HotkeyManager::hotkeyKey, QStringLiteral("cmd-shift-h"));
    r.manager.start();
    EXPECT_FALSE(r.manager.registered());
    EXPECT_EQ(r.logged, QStringList{"[Hotkey] XGrabKey failed: 10"});

    r.logged.clear();
    r.shortcut.available = false;
    r.shortcut.journal.clear();
    r.manager.registerChoice(QStringLiteral("cmd-opt-h"));
    r.manager.registerChoice(QStringLiteral("cmd-opt-g"));
    EXPECT_EQ(r.logged.size(), 1) << "said once";
    EXPECT_TRUE(r.logged.value(0).contains(QStringLiteral("not available under Wayland")));
    EXPECT_TRUE(r.shortcut.journal.filter(QStringLiteral("grab")).isEmpty());
    EXPECT_EQ(r.defaults.getString(HotkeyManager::hotkeyKey), QStringLiteral("cmd-shift-h"));
}
