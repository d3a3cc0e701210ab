#include "AssistantFakes.h"
#include "AssistantTestSupport.h"
#include "ScriptedServer.h"

#include "actions/ActionGate.h"
#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"
#include "assistant/TavrilonChatController.h"
#include "monitoring/ProcessManager.h"
#include "platform/linux/LinuxProcessControl.h"

#include <gtest/gtest.h>

#include <QTest>

#include <QJsonArray>
#include <QProcess>

namespace {

using Role = ChatMessage::Role;

struct Chat {
    SettingsStore store;
    FakeWorld world;
    ActionGate gate{*store.defaults, store.clock};
    ModelBackendClient backends{*store.settings};
    ModelRouter router{*store.settings, backends, [this](const QString& label, bool frontier) {
                           ActionGate::recordActiveModel(*store.defaults, label, frontier);
                       }};
    std::unique_ptr<TavrilonChatController> chat;

    explicit Chat(ProcessStopper* processes = nullptr)
    {
        chat = std::make_unique<TavrilonChatController>(gate, router, world.services(processes));
    }
    QList<std::pair<Role, QString>> lines() const
    {
        QList<std::pair<Role, QString>> out;
        for (const ChatMessage& m : chat->messages()) out.append({m.role, m.text});
        return out;
    }
    const ChatMessage& last() const { return chat->messages().last(); }
};

QString welcome() { return TavrilonChatController::welcomeText(); }

}  // namespace

TEST(TavrilonChatController, DirectAnswersAndActionsThatRunAtOnce)
{
    Chat c;
    c.world.monitor.health.score = 90;
    c.world.monitor.snapshot.diskTotal = 100ULL << 30;
    c.chat->send(QStringLiteral("   \t\n"));
    EXPECT_EQ(c.chat->messages().size(), 1);

    c.chat->send(QStringLiteral("  status \n"));
    EXPECT_EQ(c.lines(), (QList<std::pair<Role, QString>>{
                             {Role::system, welcome()},
                             {Role::user, QStringLiteral("status")},
                             {Role::tavrilon, QStringLiteral("Reading current machine status.")},
                             {Role::tavrilon, QStringLiteral("Health 90/100 \u00B7 CPU 0% \u00B7 Mem pressure 0% \u00B7 100GB free")}}));

    c.chat->send(QStringLiteral("hi"));
    EXPECT_EQ(c.last().role, Role::tavrilon);
    EXPECT_EQ(c.last().backendLabel, QStringLiteral("on-device"));
    EXPECT_EQ(c.gate.ledger().size(), 1);  // only the status ran

    // "free up space": the clean action runs at once and reports what was freed; it has no undo.
    c.world.cleaner.cleaned = {CleanupTarget{}, CleanupTarget{}};
    c.world.cleaner.cleaned[0].sizeBytes = 3ULL << 29;
    c.chat->send(QStringLiteral("free up space"));
    EXPECT_EQ(c.last().text, QStringLiteral("Cleaning regenerable caches and junk."));
    EXPECT_EQ(c.chat->runningAction(), QStringLiteral("Clean caches & junk"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.chat->runningAction().isEmpty(); }, 10000));
    EXPECT_EQ(c.last().text, QStringLiteral("Moved 1.61 GB from 2 cache locations to the Trash."));
    EXPECT_FALSE(c.last().undo);
    EXPECT_FALSE(c.last().backendLabel);
    ASSERT_EQ(c.gate.ledger().size(), 2);
    EXPECT_EQ(c.gate.ledger().first().outcome, QStringLiteral("Moved 1.61 GB from 2 cache locations to the Trash."));
    EXPECT_FALSE(c.chat->pendingAction());

    // A profile switch carries an undo back to the profile active when the line was parsed.
    c.world.profiles.active = PerformanceMode::developer;
    c.chat->send(QStringLiteral("optimize for gaming"));
    EXPECT_EQ(c.last().text, QStringLiteral("Switched to Gaming profile."));
    ASSERT_TRUE(c.last().undo);
    EXPECT_EQ(c.world.profiles.active, PerformanceMode::gaming);
    ASSERT_FALSE(c.gate.ledger().first().undone);
    c.last().undo();
    EXPECT_EQ(c.world.profiles.active, PerformanceMode::developer);
    EXPECT_TRUE(c.gate.ledger().first().undone);

    // Once per entry: a second press must not switch back over a profile chosen since.
    c.world.profiles.active = PerformanceMode::batterySaver;
    c.last().undo();
    EXPECT_EQ(c.world.profiles.active, PerformanceMode::batterySaver);
}

TEST(TavrilonChatController, StopWarnsTwiceThenBlocksUnlessYoloIsArmed)
{
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(child.waitForStarted());
    const int32_t pid = int32_t(child.processId());

    LinuxProcessControl control;
    QtScheduler scheduler;
    ProcessManager processes(control, scheduler);
    Chat c(&processes);
    c.world.monitor.processes = {makeProcess(QStringLiteral("sleep"), pid, 0, 1)};

    const auto request = [&] {
        c.chat->send(QStringLiteral("stop sleep"));
        return c.chat->pendingDecision() ? c.chat->pendingDecision()->kind() : GateDecision::Kind::allowFree;
    };

    EXPECT_EQ(request(), GateDecision::Kind::warnFirst);
    EXPECT_EQ(c.last().text, QStringLiteral("Stopping \u201Csleep\u201D. This is irreversible \u2014 unsaved work in it is lost."));
    ASSERT_TRUE(c.chat->pendingAction());
    EXPECT_EQ(c.chat->pendingAction()->title, QStringLiteral("Stop sleep"));
    c.chat->cancelPending();
    EXPECT_EQ(c.last().text, QStringLiteral("Cancelled. Nothing was changed."));
    EXPECT_FALSE(c.chat->pendingAction());
    EXPECT_FALSE(c.chat->pendingDecision());

    EXPECT_EQ(request(), GateDecision::Kind::warnFinal);
    c.chat->proceed();  // a warning refused counts like a cancel
    EXPECT_EQ(c.last().text, QStringLiteral("Refused."));

    EXPECT_EQ(request(), GateDecision::Kind::blockedNeedsYolo);
    c.chat->proceed();
    EXPECT_EQ(c.last().text, QStringLiteral("Refused."));
    EXPECT_EQ(c.gate.destructiveWarnings().value(QStringLiteral("Stop sleep")), 3);
    EXPECT_TRUE(c.gate.ledger().isEmpty());
    EXPECT_FALSE(child.waitForFinished(200));
    EXPECT_EQ(child.state(), QProcess::Running);

    // Armed YOLO on a frontier backend: the request is parked for confirmation, then runs.
    ActionGate::recordActiveModel(*c.store.defaults, QStringLiteral("anthropic (your key)"), true);
    ASSERT_EQ(c.gate.arm(QStringLiteral("527139"), 3).kind(), ArmResult::Kind::armed);
    EXPECT_EQ(request(), GateDecision::Kind::allowYolo);
    EXPECT_EQ(c.chat->messages().size(), 12);  // nothing ran yet
    c.chat->proceed();
    EXPECT_EQ(c.last().text, QStringLiteral("Sent stop signal to sleep (pid %1).").arg(pid));
    EXPECT_FALSE(c.last().undo);
    ASSERT_TRUE(child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(c.gate.ledger().size(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(processes.processIncidentCounts().value(QStringLiteral("sleep")), 1);
}

TEST(TavrilonChatController, CancelWithNothingPending)
{
    Chat c;
    c.chat->cancelPending();
    EXPECT_EQ(c.last().text, QStringLiteral("Cancelled. Nothing was changed."));
    EXPECT_TRUE(c.gate.destructiveWarnings().isEmpty());
    c.chat->proceed();
    EXPECT_EQ(c.chat->messages().size(), 2);
}

TEST(TavrilonChatController, UnknownQuestionsGoToTheModel)
{
    Chat c;
    ScriptedServer ollama;
    c.store.settings->setOllamaEnabled(true);
    c.store.settings->setOllamaEndpoint(ollama.base());
    ollama.answer(200, R"({"message":{"content":"Rain on the fans."}})");
    c.world.monitor.health.score = 77;

    c.chat->send(QStringLiteral("write me a poem about rain"));
    EXPECT_TRUE(c.chat->isThinking());
    EXPECT_EQ(c.last().role, Role::user);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c.chat->isThinking(); }, 10000));
    EXPECT_EQ(c.last().role, Role::tavrilon);
    EXPECT_EQ(c.last().text, QStringLiteral("Rain on the fans."));
    EXPECT_EQ(c.last().backendLabel, QStringLiteral("Ollama (local)"));

    const auto requests = ollama.requests();
    ASSERT_EQ(requests.size(), 1u);
    const QJsonArray messages = requests[0].json().object().value(QStringLiteral("messages")).toArray();
    ASSERT_EQ(messages.size(), 2);
    const QString system = messages[0].toObject().value(QStringLiteral("content")).toString();
    EXPECT_TRUE(system.startsWith(TavrilonChatController::fixedSystemText() +
                                  QStringLiteral("CURRENT MACHINE STATE (measured locally, live):\n- Health score: 77/100")));
    EXPECT_EQ(messages[1].toObject().value(QStringLiteral("content")).toString(), QStringLiteral("write me a poem about rain"));

    // Without a backend the failure becomes a system line.
    c.store.settings->setOllamaEnabled(false);
    c.chat->send(QStringLiteral("write me a poem about snow"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c.chat->isThinking(); }, 10000));
    EXPECT_EQ(c.last().role, Role::system);
    EXPECT_EQ(c.last().text, QStringLiteral("No model backend available. Enable local Ollama, or your own API key."));
    EXPECT_FALSE(c.last().backendLabel);
}

TEST(TavrilonChatController, TwoQuestionsInFlightAreAnsweredInTheirOrder)
{
    Chat c;
    ScriptedServer ollama;
    c.store.settings->setOllamaEnabled(true);
    c.store.settings->setOllamaEndpoint(ollama.base());
    // The first question's answer comes late, the second's at once.
    ollama.script({ScriptedServer::Reply{200, R"({"message":{"content":"first"}})", false, 800},
                   ScriptedServer::Reply{200, R"({"message":{"content":"second"}})", false, 0}});

    c.chat->send(QStringLiteral("write me a poem about rain"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ollama.requests().size() == 1; }, 10000));
    c.chat->send(QStringLiteral("write me a poem about snow"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ollama.requests().size() == 2; }, 10000));
    // The second answer is in, but waits for the first; the thinking line stays meanwhile.
    QTest::qWait(300);
    EXPECT_TRUE(c.chat->isThinking());
    EXPECT_EQ(c.last().role, Role::user);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c.chat->isThinking(); }, 10000));
    const auto lines = c.lines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[3].second, QStringLiteral("first"));
    EXPECT_EQ(lines[4].second, QStringLiteral("second"));
}
