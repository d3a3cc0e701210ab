#include "actions/ActionGate.h"
#include "actions/EpitopeLibrary.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"
#include "assistant/AssistantFakes.h"
#include "assistant/HUDMiniChat.h"
#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"
#include "assistant/ScriptedServer.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "support/InlineExecutor.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

constexpr uint64_t kGiB = 1ULL << 30;

// The chat over the real gate, shell, harness and library, with virtual settle time.
struct Rig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path() + "/settings.json"};
    ManualClock clock;
    ManualScheduler scheduler{clock};
    AppSettings settings{defaults, clock, QLocale(QLocale::English, QLocale::UnitedKingdom)};
    ActionGate gate{defaults, clock};
    EpitopeLibrary library{clock, dir.path() + "/AI"};
    ReversibleShell shell{gate, scheduler};
    FakeWorld world;
    OutcomeHarness harness{world.monitor, scheduler, clock};
    ModelBackendClient backends{settings};
    ModelRouter router{settings, backends, [](const QString&, bool) {}};
    InlineExecutor worker;
    HUDMiniChat chat{HUDMiniChat::Collaborators{gate, router, world.services(), shell, harness, library, worker}};

    QStringList texts() const
    {
        QStringList out;
        for (const HUDChatLine& l : chat.transcript()) out << l.text;
        return out;
    }
    int warnings(const QString& title) const { return gate.destructiveWarnings().value(title, 0); }
};

}  // namespace

TEST(HUDMiniChat, BlankDraftsAreIgnoredAndTheSendButtonFollowsSpacesAndTabsOnly)
{
    Rig r;
    for (const QString& blank : {QString(), QStringLiteral("   "), QStringLiteral("\n \t\n")}) {
        EXPECT_FALSE(r.chat.submit(blank)) << blank.toStdString();
    }
    EXPECT_TRUE(r.chat.transcript().isEmpty());

    const struct {
        QString draft;
        bool enabled;
    } cases[] = {{QString(), false}, {QStringLiteral("  \t "), false}, {QStringLiteral("\n"), true}, {QStringLiteral(" a "), true}};
    for (const auto& c : cases) EXPECT_EQ(HUDMiniChat::canSend(c.draft), c.enabled) << c.draft.toStdString();
}

TEST(HUDMiniChat, ADirectReplyIsShownAtOnceUnderTheTrimmedLine)
{
    Rig r;
    EXPECT_TRUE(r.chat.submit(QStringLiteral("  hi \n")));
    ASSERT_EQ(r.chat.transcript().size(), 2);
    EXPECT_TRUE(r.chat.transcript()[0].isUser);
    EXPECT_EQ(r.chat.transcript()[0].text, QStringLiteral("hi"));
    EXPECT_FALSE(r.chat.transcript()[1].isUser);
    EXPECT_FALSE(r.chat.transcript()[1].isGateNotice);
    EXPECT_TRUE(r.chat.transcript()[1].text.startsWith(QStringLiteral("Tavrilon here.")));
    EXPECT_TRUE(r.gate.ledger().isEmpty());
}

TEST(HUDMiniChat, AnIrreversibleRequestIsNoticedCountedAndAfterTwoWarningsBlocked)
{
    Rig r;
    const QString title = QStringLiteral("Stop chrome");
    const QString notice = QStringLiteral("\u201CStop chrome\u201D is irreversible \u2014 confirm it in the full Tavrilon chat.");
    for (int attempt = 1; attempt <= 3; ++attempt) {
        // Nothing runs from the HUD, whether the gate warns or, the third time, blocks.
        const GateDecision::Kind expected =
            attempt == 1 ? GateDecision::Kind::warnFirst
                         : attempt == 2 ? GateDecision::Kind::warnFinal : GateDecision::Kind::blockedNeedsYolo;
        TavrilonAction probe;
        probe.title = title;
        probe.risk = ActionRisk::destructive;
        EXPECT_EQ(r.gate.evaluate(probe).kind(), expected) << attempt;
        r.chat.submit(QStringLiteral("stop chrome"));
        EXPECT_EQ(r.chat.transcript().last().text, notice);
        EXPECT_TRUE(r.chat.transcript().last().isGateNotice);
        EXPECT_EQ(r.warnings(title), attempt);
    }
    EXPECT_TRUE(r.world.recordingProcesses.terminated.isEmpty());
    EXPECT_TRUE(r.gate.ledger().isEmpty());
}

TEST(HUDMiniChat, AMeasuredRunAttachesItsDeltaToItsOwnLedgerEntryAndToTheEpitope)
{
    Rig r;
    r.world.monitor.snapshot.memoryPressure = 62;
    // The sampler publishes lower pressure halfway through the settle delay.
    r.scheduler.after(600ms, nullptr, [&r] { r.world.monitor.snapshot.memoryPressure = 50; });
    r.chat.submit(QStringLiteral("free memory"));
    EXPECT_EQ(r.texts().last(), QStringLiteral("Relieve memory pressure \u2014 measuring\u2026"));
    ASSERT_EQ(r.gate.ledger().size(), 1);
    const QUuid entry = r.gate.ledger().first().id;
    EXPECT_FALSE(r.gate.ledger().first().metricLabel.has_value());

    // Another action recorded during the settle delay does not receive this measurement.
    r.scheduler.advance(1s);
    r.chat.submit(QStringLiteral("flush dns"));
    ASSERT_EQ(r.gate.ledger().size(), 2);
    r.scheduler.advance(200ms);

    const GateLedgerEntry& measured = r.gate.ledger()[1];
    EXPECT_EQ(measured.id, entry);
    EXPECT_EQ(measured.measuredDelta, 12.0);
    EXPECT_EQ(measured.metricLabel, QStringLiteral("+12 pts (memPressureDrop)"));
    EXPECT_FALSE(r.gate.ledger()[0].metricLabel.has_value());
    const Epitope e = *r.library.epitope(QStringLiteral("relieve-mem"));
    EXPECT_EQ(e.displayName, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(e.outcomes, QList<bool>{true});
    ASSERT_TRUE(r.library.heroDelta().has_value());
    EXPECT_EQ(r.library.heroDelta()->delta, 12.0);
    // The measuring line stays; the result shows in the hero card and the ledger.
    EXPECT_EQ(r.texts()[1], QStringLiteral("Relieve memory pressure \u2014 measuring\u2026"));
    EXPECT_TRUE(r.shell.hasPendingRevert());
    // History lists the relief as the user's; the DNS flush is none of its kinds.
    ASSERT_EQ(r.world.monitor.actions.size(), 1);
    EXPECT_EQ(r.world.monitor.actions.first().action, ActionType::memoryFreed);
    EXPECT_FALSE(r.world.monitor.actions.first().wasAutomatic);
}

TEST(HUDMiniChat, ASlowMeasuredCleanupRunsOnTheWorkerAndItsUndoRunsOnce)
{
    Rig r;
    r.world.monitor.snapshot.diskTotal = 100 * kGiB;
    r.world.monitor.snapshot.diskUsed = 60 * kGiB;
    CleanupTarget target;
    target.name = QStringLiteral("Thumbnails");
    target.sizeBytes = kGiB;
    r.world.cleaner.cleaned = {target};
    r.chat.submit(QStringLiteral("free up space"));
    // The body went to the worker; the ledger entry is made back on the main thread.
    EXPECT_EQ(r.world.cleaner.runs, 1);
    EXPECT_TRUE(r.gate.ledger().isEmpty());
    QCoreApplication::processEvents();
    ASSERT_EQ(r.gate.ledger().size(), 1);
    ASSERT_EQ(r.world.monitor.actions.size(), 1);
    EXPECT_EQ(r.world.monitor.actions.first().action, ActionType::cacheCleared);
    EXPECT_EQ(r.world.monitor.actions.first().detail, r.gate.ledger().first().outcome);
    r.world.monitor.snapshot.diskUsed = 59 * kGiB;
    r.scheduler.advance(800ms);
    EXPECT_EQ(r.gate.ledger().first().measuredDelta, 1.0);
    ASSERT_TRUE(r.library.heroDelta().has_value());
    EXPECT_EQ(r.library.heroDelta()->metric, OutcomeMetric::diskFreedGB);
    ASSERT_TRUE(r.library.epitope(QStringLiteral("clean-caches")).has_value());
    // The cleanup has nothing to undo, but its revert marks the entry once.
    ASSERT_TRUE(r.shell.hasPendingRevert());
    EXPECT_TRUE(r.shell.revertPending());
    EXPECT_TRUE(r.gate.ledger().first().undone);
    EXPECT_FALSE(r.shell.revertPending());
}

TEST(HUDMiniChat, ARevertUndoesTheMeasuredChangeOnlyOnceAndNotAfterTheFullChatUndidIt)
{
    // A reversible action with an undo, measured from the HUD: "switch to gaming" undoes by
    // switching back.
    for (const bool undoneElsewhere : {false, true}) {
        Rig r;
        r.chat.submit(QStringLiteral("optimize for gaming"));
        r.scheduler.advance(3s);
        ASSERT_EQ(r.gate.ledger().size(), 1) << undoneElsewhere;
        const int switchesBefore = int(r.world.profiles.calls.filter(QStringLiteral("switch ")).size());
        if (undoneElsewhere) EXPECT_TRUE(r.gate.markUndone(r.gate.ledger().first().id));
        ASSERT_TRUE(r.shell.hasPendingRevert());
        EXPECT_TRUE(r.shell.revertPending());
        EXPECT_EQ(int(r.world.profiles.calls.filter(QStringLiteral("switch ")).size()), switchesBefore + (undoneElsewhere ? 0 : 1)) << undoneElsewhere;
        EXPECT_TRUE(r.gate.ledger().first().undone);
        EXPECT_FALSE(r.shell.revertPending());
        EXPECT_EQ(int(r.world.profiles.calls.filter(QStringLiteral("switch ")).size()), switchesBefore + (undoneElsewhere ? 0 : 1));
    }
}

TEST(HUDMiniChat, AModelQuestionShowsThePlaceholderUntilTheAnswerReplacesIt)
{
    ScriptedServer ollama;
    ollama.script({ScriptedServer::Reply{200, R"({"message":{"content":"Entropy always wins."}})", false, 300}});
    Rig r;
    r.settings.setOllamaEnabled(true);
    r.settings.setOllamaEndpoint(ollama.base());
    r.chat.submit(QStringLiteral("write me a poem about rain"));
    EXPECT_EQ(r.texts(), (QStringList{QStringLiteral("write me a poem about rain"), QStringLiteral("\u2026")}));
    const QUuid placeholder = r.chat.transcript().last().id;
    // The user may go on meanwhile.
    r.chat.submit(QStringLiteral("hi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !r.texts().contains(QStringLiteral("\u2026")); }, 10000));
    EXPECT_EQ(r.texts()[1], QStringLiteral("Entropy always wins."));
    EXPECT_NE(r.chat.transcript()[1].id, placeholder);
    EXPECT_EQ(r.texts().size(), 4);
    ASSERT_EQ(ollama.requests().size(), 1u);
    // The HUD's prompt: the fixed text, then the live machine state.
    const QString system = r.chat.systemPrompt();
    EXPECT_TRUE(system.startsWith(QStringLiteral("You are the Tavrilon")));
    EXPECT_TRUE(QString::fromStdString(ollama.requests()[0].body).contains(QStringLiteral("OWNS this computer")));
}

TEST(HUDMiniChat, AFailingModelTurnsThePlaceholderIntoTheFailureLine)
{
    Rig r;  // no backend is enabled
    r.chat.submit(QStringLiteral("write me a poem about rain"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !r.texts().contains(QStringLiteral("\u2026")); }, 5000));
    EXPECT_EQ(r.texts().last(),
              QStringLiteral("Couldn\u2019t reach a model for that one \u2014 the full Tavrilon chat has more room to work."));
    EXPECT_EQ(r.chat.transcript().size(), 2);
}
