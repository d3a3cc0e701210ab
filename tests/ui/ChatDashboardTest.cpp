// The road of one request, end to end in the dashboard window: the Tavrilon tab's chat over
// the real gate, disk cleaner, process manager and model router, driven through QTest.
#include "DashboardRig.h"

#include "actions/DiskCleaner.h"
#include "actions/FixtureHome.h"
#include "assistant/AssistantFakes.h"
#include "assistant/ScriptedServer.h"
#include "assistant/TavrilonChatController.h"
#include "core/Paths.h"
#include "monitoring/ProcessManager.h"
#include "platform/linux/LinuxProcessControl.h"
#include "support/ChildProcess.h"
#include "ui/chat/GateWarningSheet.h"
#include "ui/chat/MessageRow.h"
#include "ui/chat/TavrilonChatView.h"
#include "ui/chat/YoloArmingSheet.h"
#include "ui/chat/YoloBadge.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/HistoryTab.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/dashboard/SidebarButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace dashboard_rig;

namespace {

const QString kPassword = QStringLiteral("527139");

// The dashboard over the rig, with the real cleaner and process manager behind its chat.
struct ChatDashboard {
    Rig rig;
    DiskCleaner cleaner;
    LinuxProcessControl control;
    QtScheduler scheduler;
    ProcessManager processes{control, scheduler};
    // The application's conversation: it outlives the window.
    TavrilonChatController chat{rig.gate, rig.router,
                                AssistantServices{rig.monitor, rig.quiet, rig.profiles, rig.quiet, cleaner, rig.quiet,
                                                  processes}};
    std::unique_ptr<DetailedView> window;

    ChatDashboard() { openWindow(); }

    // Builds the window anew, as the window controller does after the user closed it.
    void openWindow()
    {
        window.reset();
        window = std::make_unique<DetailedView>(DashboardEnvironment{
            .monitor = rig.monitor,
            .settings = rig.settings,
            .profileManager = rig.profiles,
            .batteryMonitor = rig.battery,
            .networkMonitor = rig.network,
            .aiEngine = rig.ai,
            .themeManager = rig.themes,
            .tavrilon = TavrilonTabDeps{.themes = rig.themes, .gate = rig.gate, .chat = chat},
            .processes = ProcessTabDeps{.stopper = processes,
                                        .incidents = processes,
                                        .control = control,
                                        .clock = rig.clock},
        });
        window->resize(DetailedView::defaultWindowSize);
        window->show();
        (void)QTest::qWaitForWindowExposed(window.get());
    }

    TavrilonChatView* openChat() const
    {
        QTest::mouseClick(window->sidebar()->button(DashboardTab::tavrilon), Qt::LeftButton);
        auto* chat = qobject_cast<TavrilonChatView*>(window->tabView());
        // The window's layout shows the new tab view from the event loop.
        if (chat) (void)QTest::qWaitFor([chat] { return chat->isVisible(); }, 2000);
        return chat;
    }
    void type(TavrilonChatView* chat, const QString& line) const
    {
        QTest::keyClicks(chat->input(), line);
        QTest::keyClick(chat->input(), Qt::Key_Return);
    }
    // Publishes a sample whose process list holds the one process.
    void publishProcess(const QString& name, int32_t pid)
    {
        Sample s;
        s.snapshot = rig.monitor.currentSnapshot();
        s.snapshot.topProcesses = {makeProcess(name, pid, 1, 1)};
        s.health = rig.monitor.currentHealth();
        rig.monitor.applySample(s);
    }
};

QString lastText(TavrilonChatView* chat) { return chat->rows().last()->bubble()->text(); }

}  // namespace

TEST(ChatInDashboard, FreeUpSpaceCleansTheFixtureHomeAndAnUndoRunsOnce)
{
    const QString pip = Paths::home() + QStringLiteral("/.cache/pip");
    fixture::file(pip + QStringLiteral("/wheels/a.whl"), 2 << 20);
    fixture::file(pip + QStringLiteral("/http/b"), 1 << 20);
    ChatDashboard d;
    TavrilonChatView* chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->rows().size(), 1);
    // Typing after the click on the tab goes to the chat's input, not to the sidebar button.
    EXPECT_EQ(d.window->focusWidget(), chat->input());

    // The cleanup runs on a worker: the window keeps answering, the thinking line names the
    // action, and a second request meanwhile is answered, not lost.
    d.type(chat, QStringLiteral("free up space"));
    EXPECT_EQ(lastText(chat), QStringLiteral("Cleaning regenerable caches and junk."));
    EXPECT_TRUE(chat->thinkingLine()->isVisible());
    EXPECT_EQ(chat->thinkingLine()->text(), QStringLiteral("Clean caches & junk \u2014 thinking\u2026"));
    EXPECT_TRUE(d.rig.gate.ledger().isEmpty()) << "recorded when the outcome is known";
    d.type(chat, QStringLiteral("free up space"));
    EXPECT_EQ(lastText(chat),
              QStringLiteral("Still working on \u201CClean caches & junk\u201D. Ask again when it has finished."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lastText(chat).startsWith(QStringLiteral("Moved ")); }, 10000));
    EXPECT_FALSE(chat->thinkingLine()->isVisible());
    // 3 MiB of files: the byte-count formatter's megabytes, not "0.0GB".
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Moved 3\\.[0-9] MB from 1 cache location to the Trash\\.$"))
                    .match(lastText(chat))
                    .hasMatch())
        << lastText(chat).toStdString();
    EXPECT_TRUE(fixture::entries(pip).isEmpty());
    EXPECT_EQ(fixture::entries(fixture::trashFiles()), (QStringList{QStringLiteral("http"), QStringLiteral("wheels")}));
    ASSERT_EQ(d.rig.gate.ledger().size(), 1);
    EXPECT_EQ(d.rig.gate.ledger().first().title, QStringLiteral("Clean caches & junk"));
    // The clean action carries no undo operation; its reply shows no Undo.
    EXPECT_EQ(chat->rows().last()->undoButton(), nullptr);
    // History lists it beside the automatic actions, as the user's own.
    QTest::mouseClick(d.window->sidebar()->button(DashboardTab::history), Qt::LeftButton);
    auto* history = qobject_cast<HistoryTab*>(d.window->tabView());
    ASSERT_NE(history, nullptr);
    settle();
    EXPECT_EQ(history->countText()->text(), QStringLiteral("1 action"));
    ASSERT_EQ(d.rig.monitor.actionHistory().size(), 1);
    const ActionRecord cleaned = d.rig.monitor.actionHistory().first();
    EXPECT_EQ(cleaned.action, ActionType::cacheCleared);
    EXPECT_EQ(cleaned.target, QStringLiteral("Clean caches & junk"));
    EXPECT_EQ(cleaned.detail, d.rig.gate.ledger().first().outcome);
    EXPECT_FALSE(cleaned.wasAutomatic);
    chat = d.openChat();
    ASSERT_NE(chat, nullptr);

    // A reversible action that has one: Undo once puts the profile back and marks the entry.
    ASSERT_EQ(d.rig.profiles.activeProfile(), PerformanceMode::balanced);
    d.type(chat, QStringLiteral("optimize for gaming"));
    EXPECT_EQ(d.rig.profiles.activeProfile(), PerformanceMode::gaming);
    QPushButton* undo = chat->rows().last()->undoButton();
    ASSERT_NE(undo, nullptr);
    QTest::qWait(50);
    QTest::mouseClick(undo, Qt::LeftButton);
    EXPECT_EQ(d.rig.profiles.activeProfile(), PerformanceMode::balanced);
    EXPECT_TRUE(d.rig.gate.ledger().first().undone);
    EXPECT_FALSE(d.rig.gate.ledger().at(1).undone);
    d.rig.profiles.switchProfile(PerformanceMode::developer);
    QTest::mouseClick(undo, Qt::LeftButton);
    EXPECT_EQ(d.rig.profiles.activeProfile(), PerformanceMode::developer);

    // Another visit to the tab shows the same conversation.
    const qsizetype rows = chat->rows().size();
    QTest::mouseClick(d.window->sidebar()->button(DashboardTab::overview), Qt::LeftButton);
    chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->rows().size(), rows);
    EXPECT_TRUE(lastText(chat).startsWith(QStringLiteral("Switched to "))) << lastText(chat).toStdString();
}

TEST(ChatInDashboard, StopWarnsTwiceIsBlockedAndArmingTakesThePasswordAndThreeConfirmations)
{
    ChildProcess child({QStandardPaths::findExecutable(QStringLiteral("sleep")), QStringLiteral("60")});
    ASSERT_TRUE(child.started());
    ChatDashboard d;
    d.publishProcess(QStringLiteral("sleep"), child.pid());
    TavrilonChatView* chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    const QString title = QStringLiteral("Stop sleep");

    d.type(chat, QStringLiteral("stop sleep"));
    ASSERT_NE(chat->warningSheet(), nullptr);
    EXPECT_EQ(chat->warningSheet()->titleLabel()->text(), QStringLiteral("Heads up: Stop sleep"));
    QTest::mouseClick(chat->warningSheet()->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(d.rig.gate.destructiveWarnings().value(title), 1);
    EXPECT_EQ(lastText(chat), QStringLiteral("Cancelled. Nothing was changed."));
    QTest::qWait(20);

    d.type(chat, QStringLiteral("stop sleep"));
    ASSERT_NE(chat->warningSheet(), nullptr);
    EXPECT_EQ(chat->warningSheet()->titleLabel()->text(), QStringLiteral("Last warning: Stop sleep"));
    QTest::keyClick(chat->warningSheet(), Qt::Key_Escape);
    EXPECT_EQ(d.rig.gate.destructiveWarnings().value(title), 2);
    QTest::qWait(20);

    d.type(chat, QStringLiteral("stop sleep"));  // the third request is blocked
    GateWarningSheet* sheet = chat->warningSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->titleLabel()->text(), QStringLiteral("Blocked \u2014 needs YOLO"));
    EXPECT_TRUE(sheet->shownTexts().contains(GateWarningContent::blockedNote));
    QTest::qWait(100);
    QDir().mkpath(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
    ASSERT_TRUE(d.window->grab().save(QStringLiteral(VELTRANMOOR_SCREENSHOTS "/chat-warning.png")));
    EXPECT_EQ(::kill(child.pid(), 0), 0);

    ActionGate::recordActiveModel(d.rig.defaults, QStringLiteral("Claude (own key)"), true);
    QTest::mouseClick(sheet->trailingButton(), Qt::LeftButton);  // Arm YOLO…
    EXPECT_EQ(chat->warningSheet(), nullptr);
    EXPECT_EQ(d.rig.gate.destructiveWarnings().value(title), 2);
    YoloArmingSheet* arming = chat->yoloSheet();
    ASSERT_NE(arming, nullptr);

    QTest::keyClicks(arming->passwordField(), kPassword);
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(arming->counter()->text(), QStringLiteral("Confirmation 2 of 3"));
    EXPECT_EQ(arming->confirmButton()->text(), QStringLiteral("Confirm (2/3)"));
    arming->passwordField()->setText(QStringLiteral("123456"));
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(arming->errorLabel()->text(), QStringLiteral("Wrong password."));
    EXPECT_EQ(arming->confirmButton()->text(), QStringLiteral("Confirm (1/3)"));
    EXPECT_EQ(arming->filledDots(), 0);

    arming->passwordField()->setText(kPassword);
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(arming->confirmButton()->text(), QStringLiteral("Confirm (2/3)"));
    EXPECT_FALSE(arming->errorLabel()->isVisibleTo(arming));
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(arming->confirmButton()->text(), QStringLiteral("Arm YOLO"));
    EXPECT_EQ(arming->counter()->text(), QStringLiteral("Confirmation 3 of 3"));
    EXPECT_EQ(chat->badge()->label(), QStringLiteral("SAFE"));
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(chat->yoloSheet(), nullptr);
    EXPECT_TRUE(d.rig.gate.yoloArmed());
    EXPECT_EQ(d.rig.defaults.getBool(ActionGate::yoloKey), true);
    EXPECT_EQ(chat->badge()->label(), QStringLiteral("YOLO ARMED"));
    EXPECT_EQ(::kill(child.pid(), 0), 0) << "arming does not run the earlier request";
    QTest::qWait(20);

    d.type(chat, QStringLiteral("stop sleep"));
    ASSERT_NE(chat->warningSheet(), nullptr);
    EXPECT_EQ(chat->warningSheet()->titleLabel()->text(), QStringLiteral("YOLO armed \u2014 confirm"));
    QTest::mouseClick(chat->warningSheet()->trailingButton(), Qt::LeftButton);  // Proceed
    EXPECT_EQ(lastText(chat), QStringLiteral("Sent stop signal to sleep (pid %1).").arg(child.pid()));
    ASSERT_TRUE(child.waitForExit(std::chrono::seconds(5)));
    EXPECT_EQ(child.terminatingSignal(), SIGTERM);
    // Only the stop that happened is in History; the cancelled and refused requests are not.
    ASSERT_EQ(d.rig.monitor.actionHistory().size(), 1);
    EXPECT_EQ(d.rig.monitor.actionHistory().first().action, ActionType::processKilled);
    EXPECT_EQ(d.rig.monitor.actionHistory().first().target, QStringLiteral("sleep"));
}

TEST(ChatInDashboard, BadgeFollowsTheStoredFlagAndTheWindowAnswersWhileAModelThinks)
{
    ChatDashboard d;
    TavrilonChatView* chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->badge()->label(), QStringLiteral("SAFE"));
    ActionGate::recordActiveModel(d.rig.defaults, QStringLiteral("Claude (own key)"), true);
    ASSERT_EQ(d.rig.gate.arm(kPassword, 3).kind(), ArmResult::Kind::armed);
    EXPECT_EQ(chat->badge()->label(), QStringLiteral("YOLO ARMED"));
    // What the next start finds under "tavrilon.yoloArmed".
    ActionGate restarted(d.rig.defaults, d.rig.clock);
    EXPECT_TRUE(restarted.yoloArmed());

    ScriptedServer ollama;
    ollama.script({ScriptedServer::Reply{200, R"({"message":{"content":"Rain on the roof."}})", false, 1500}});
    d.rig.settings.setOllamaEnabled(true);
    d.rig.settings.setOllamaEndpoint(ollama.base());

    d.type(chat, QStringLiteral("write me a poem about rain"));
    EXPECT_TRUE(chat->thinkingLine()->isVisible());
    QElapsedTimer clock;
    clock.start();
    qint64 longestGap = 0, last = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(10);
    QTest::qWait(100);
    // The window still reacts: another tab and back, and a line answered at once.
    QTest::mouseClick(d.window->sidebar()->button(DashboardTab::overview), Qt::LeftButton);
    chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    d.type(chat, QStringLiteral("write me a poem about snow"));
    EXPECT_TRUE(chat->thinkingLine()->isVisible());
    d.type(chat, QStringLiteral("hi"));
    EXPECT_EQ(chat->rows().last()->backendLabel()->text(), QStringLiteral("on-device"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chat->thinkingLine()->isVisible(); }, 10000));
    // A request that blocked the loop would stall it for the server's whole 1.5 s delay; a
    // sanitizer build on a busy machine still repaints a tab switch within a second.
    EXPECT_LT(longestGap, 1000);
    EXPECT_EQ(lastText(chat), QStringLiteral("Rain on the roof."));
    EXPECT_EQ(chat->rows().last()->backendLabel()->text(), QStringLiteral("Ollama (local)"));
}

TEST(ChatInDashboard, GateSheetIsModalOverTheWholeWindow)
{
    ChildProcess child({QStandardPaths::findExecutable(QStringLiteral("sleep")), QStringLiteral("60")});
    ASSERT_TRUE(child.started());
    ChatDashboard d;
    d.publishProcess(QStringLiteral("sleep"), child.pid());
    TavrilonChatView* chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    SidebarButton* overview = d.window->sidebar()->button(DashboardTab::overview);

    d.type(chat, QStringLiteral("stop sleep"));
    ASSERT_NE(chat->warningSheet(), nullptr);
    // The scrim covers the sidebar as well, and the keyboard cannot reach it either.
    EXPECT_EQ(chat->warningOverlay()->parentWidget(), d.window.get());
    EXPECT_EQ(chat->warningOverlay()->geometry(), d.window->rect());
    EXPECT_FALSE(overview->isEnabled());
    EXPECT_FALSE(chat->input()->isEnabled());
    QTest::keyClick(d.window.get(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), overview);

    // A real click where the sidebar's Overview button lies lands on the scrim: the tab stays,
    // and the sheet goes as dismissed from outside (nothing counted, nothing said).
    const int rowsBefore = int(chat->rows().size());
    const QPoint onButton = overview->mapTo(d.window.get(), overview->rect().center());
    QTest::mouseClick(d.window->windowHandle(), Qt::LeftButton, {}, onButton);
    EXPECT_EQ(d.window->selectedTab(), DashboardTab::tavrilon);
    EXPECT_EQ(d.window->tabView(), chat);
    EXPECT_EQ(chat->warningSheet(), nullptr);
    EXPECT_EQ(d.rig.gate.destructiveWarnings().value(QStringLiteral("Stop sleep")), 0);
    EXPECT_EQ(int(chat->rows().size()), rowsBefore);
    EXPECT_TRUE(overview->isEnabled());
    EXPECT_TRUE(chat->input()->isEnabled());
    EXPECT_EQ(::kill(child.pid(), 0), 0);

    // Once the sheet is gone the sidebar works again.
    QTest::qWait(20);
    QTest::mouseClick(d.window->windowHandle(), Qt::LeftButton, {}, onButton);
    EXPECT_EQ(d.window->selectedTab(), DashboardTab::overview);
}

TEST(ChatInDashboard, TheConversationAndALateReplyOutliveTheTabThePaletteAndTheWindow)
{
    ChatDashboard d;
    ScriptedServer ollama;
    ollama.script({ScriptedServer::Reply{200, R"({"message":{"content":"Rain on the roof."}})", false, 800}});
    d.rig.settings.setOllamaEnabled(true);
    d.rig.settings.setOllamaEndpoint(ollama.base());

    TavrilonChatView* chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    d.type(chat, QStringLiteral("write me a poem about rain"));
    ASSERT_TRUE(chat->thinkingLine()->isVisible());

    // Away from the tab, another palette, and back while the model is still answering.
    QTest::mouseClick(d.window->sidebar()->button(DashboardTab::overview), Qt::LeftButton);
    d.rig.themes.setCurrent(PaletteTheme::daylight());
    chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    ASSERT_EQ(chat->rows().size(), 2);
    EXPECT_EQ(chat->rows().at(1)->bubble()->text(), QStringLiteral("write me a poem about rain"));
    EXPECT_TRUE(chat->thinkingLine()->isVisible()) << "the question is still open";

    // The window closed and the reply arrives while no chat is shown.
    QTest::mouseClick(d.window->sidebar()->button(DashboardTab::overview), Qt::LeftButton);
    d.openWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.chat.isThinking(); }, 10000));
    chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    ASSERT_EQ(chat->rows().size(), 3);
    EXPECT_EQ(chat->rows().at(1)->bubble()->text(), QStringLiteral("write me a poem about rain"));
    EXPECT_EQ(lastText(chat), QStringLiteral("Rain on the roof."));
    EXPECT_EQ(chat->rows().last()->backendLabel()->text(), QStringLiteral("Ollama (local)"));
    EXPECT_FALSE(chat->thinkingLine()->isVisible());

    QTest::qWait(100);
    QDir().mkpath(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
    ASSERT_TRUE(d.window->grab().save(QStringLiteral(VELTRANMOOR_SCREENSHOTS "/chat-after-tab-switch.png")));
}

TEST(ChatInDashboard, ASheetClosedWithItsWindowIsDismissedWithoutCounting)
{
    ChatDashboard d;
    TavrilonChatView* chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    d.type(chat, QStringLiteral("stop nothingrunning"));
    ASSERT_NE(chat->warningSheet(), nullptr);
    ASSERT_TRUE(d.chat.pendingAction());

    // The user closes the window with the sheet up: the conversation stays, the sheet does not.
    d.openWindow();
    EXPECT_FALSE(d.chat.pendingAction());
    EXPECT_EQ(d.rig.gate.destructiveWarnings().value(QStringLiteral("Stop nothingrunning")), 0);
    chat = d.openChat();
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->warningSheet(), nullptr);
    EXPECT_TRUE(chat->input()->isEnabled());
    EXPECT_TRUE(d.window->sidebar()->button(DashboardTab::overview)->isEnabled());
    EXPECT_EQ(chat->rows().at(1)->bubble()->text(), QStringLiteral("stop nothingrunning"));
}
