#include "ChatTestRig.h"

#include "actions/FixtureHome.h"
#include "actions/DiskCleaner.h"
#include "assistant/ScriptedServer.h"
#include "assistant/TavrilonChatController.h"
#include "core/Paths.h"
#include "monitoring/ProcessManager.h"
#include "platform/linux/LinuxProcessControl.h"
#include "support/ChildProcess.h"
#include "ui/chat/SheetOverlay.h"
#include "ui/chat/SymbolButton.h"
#include "ui/chat/TintedSymbol.h"
#include "ui/chat/YoloBadge.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QStandardPaths>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QTimer>

#include <csignal>

namespace {

const QString kPassword = QStringLiteral("527139");

}  // namespace

TEST(TavrilonChatView, StartsWithTheWelcomeAndTheBadgeFollowsTheGate)
{
    ChatRig r;
    ASSERT_EQ(r.view->rows().size(), 1);
    EXPECT_EQ(r.texts(), QStringList{TavrilonChatController::welcomeText()});
    EXPECT_FALSE(r.view->thinkingLine()->isVisible());
    EXPECT_EQ(r.view->input()->placeholderText(), QStringLiteral("Ask the Tavrilon\u2026"));
    EXPECT_EQ(r.view->badge()->label(), QStringLiteral("SAFE"));

    // Whoever arms the gate, the badge follows without the view being built anew.
    ActionGate::recordActiveModel(r.defaults, QStringLiteral("Claude (own key)"), true);
    ASSERT_EQ(r.gate.arm(kPassword, 3).kind(), ArmResult::Kind::armed);
    EXPECT_EQ(r.view->badge()->label(), QStringLiteral("YOLO ARMED"));
    const QImage armed = r.view->badge()->grab().toImage();
    EXPECT_EQ(armed.pixelColor(10, armed.height() / 2).rgb(), r.themes.current().danger.rgb()) << "the dot in danger";

    // A view built later starts from the gate's state.
    TavrilonChatView second(r.themes, r.gate, r.router, r.world.services());
    EXPECT_EQ(second.badge()->label(), QStringLiteral("YOLO ARMED"));
}

TEST(TavrilonChatView, SendingClearsTheFieldFirstAndBlankLinesAddNothing)
{
    ChatRig r;
    QTest::keyClicks(r.view->input(), QStringLiteral("   "));
    QTest::keyClick(r.view->input(), Qt::Key_Return);
    EXPECT_TRUE(r.view->input()->text().isEmpty());
    QTest::mouseClick(r.view->sendButton(), Qt::LeftButton);  // never disabled, even for an empty field
    EXPECT_EQ(r.view->rows().size(), 1);

    QStringList fieldWhenAdded;
    QObject::connect(&r.view->controller(), &TavrilonChatController::messagesChanged, r.view.get(),
                     [&] { fieldWhenAdded << r.view->input()->text(); });
    QTest::keyClicks(r.view->input(), QStringLiteral("  hi  "));
    QTest::mouseClick(r.view->sendButton(), Qt::LeftButton);
    EXPECT_EQ(fieldWhenAdded.value(0), QString());
    ASSERT_EQ(r.view->rows().size(), 3);
    EXPECT_EQ(r.view->rows().at(1)->bubble()->text(), QStringLiteral("hi"));
    EXPECT_EQ(r.lastRow()->backendLabel()->text(), QStringLiteral("on-device"));
    QTest::qWait(50);  // rows are laid out by the event loop

    // The user's line stands on the right, the replies and the welcome on the left.
    const auto bubbleX = [&](int i) {
        MessageRow* row = r.view->rows().at(i);
        return std::pair(row->bubble()->geometry().left(), row->width() - row->bubble()->geometry().right());
    };
    EXPECT_GT(bubbleX(1).first, 40);
    EXPECT_LT(bubbleX(1).second, 40);
    EXPECT_LT(bubbleX(0).first, 40);
    EXPECT_LT(bubbleX(2).first, 40);
    EXPECT_EQ(r.view->rows().at(0)->bubble()->palette().color(QPalette::WindowText), r.themes.current().textDim);
    EXPECT_EQ(r.view->rows().at(2)->bubble()->palette().color(QPalette::WindowText), r.themes.current().text);
    EXPECT_EQ(r.view->rows().at(1)->bubble()->textFormat(), Qt::PlainText);

    // A new palette redraws the open panel, rows included.
    r.themes.setCurrent(PaletteTheme::daylight());
    EXPECT_EQ(r.view->rows().at(2)->bubble()->palette().color(QPalette::WindowText), PaletteTheme::daylight().text);
    EXPECT_EQ(r.view->palette().color(QPalette::Window), PaletteTheme::daylight().background);
}

TEST(TavrilonChatView, FreeUpSpaceMovesTheFixtureCachesToTheTrash)
{
    const QString pip = Paths::home() + QStringLiteral("/.cache/pip");
    fixture::file(pip + QStringLiteral("/wheels/a.whl"), 2 << 20);
    fixture::file(pip + QStringLiteral("/http/b"), 1 << 20);
    DiskCleaner cleaner;
    ChatRig r(nullptr, &cleaner);

    r.type(QStringLiteral("free up space"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.lastRow()->bubble()->text().startsWith(QStringLiteral("Moved ")); }, 10000));
    const QString reply = r.lastRow()->bubble()->text();
    EXPECT_TRUE(reply.endsWith(QStringLiteral(" MB from 1 cache location to the Trash."))) << reply.toStdString();
    EXPECT_TRUE(fixture::entries(pip).isEmpty());
    EXPECT_EQ(fixture::entries(fixture::trashFiles()), (QStringList{QStringLiteral("http"), QStringLiteral("wheels")}));
    ASSERT_EQ(r.gate.ledger().size(), 1);
    EXPECT_EQ(r.gate.ledger().first().outcome, reply);
    // The clean action has no undo operation, so its reply has no Undo button.
    EXPECT_EQ(r.lastRow()->undoButton(), nullptr);
}

TEST(TavrilonChatView, UndoRunsOnceAndMarksTheLedgerEntry)
{
    ChatRig r;
    r.world.profiles.active = PerformanceMode::developer;
    r.type(QStringLiteral("optimize for gaming"));
    MessageRow* reply = r.lastRow();
    EXPECT_EQ(reply->bubble()->text(), QStringLiteral("Switched to Gaming profile."));
    ASSERT_NE(reply->undoButton(), nullptr);
    EXPECT_EQ(reply->undoButton()->text(), QStringLiteral("Undo"));
    EXPECT_EQ(r.world.profiles.active, PerformanceMode::gaming);

    const int rows = r.view->rows().size();
    QTest::qWait(50);
    QTest::mouseClick(reply->undoButton(), Qt::LeftButton);
    EXPECT_EQ(r.world.profiles.active, PerformanceMode::developer);
    EXPECT_TRUE(r.gate.ledger().first().undone);
    EXPECT_EQ(r.view->rows().size(), rows);  // no message for an undo
    EXPECT_TRUE(reply->undoButton()->isVisible());

    r.world.profiles.active = PerformanceMode::batterySaver;
    QTest::mouseClick(reply->undoButton(), Qt::LeftButton);
    reply->message().undo();  // not even when called past the button
    EXPECT_EQ(r.world.profiles.active, PerformanceMode::batterySaver);
}

TEST(TavrilonChatView, StopWarnsBlocksArmsAndThenStopsTheRealChild)
{
    ChildProcess child({QStandardPaths::findExecutable(QStringLiteral("sleep")), QStringLiteral("60")});
    ASSERT_TRUE(child.started());
    LinuxProcessControl control;
    QtScheduler scheduler;
    ProcessManager processes(control, scheduler);
    ChatRig r(&processes);
    r.world.monitor.processes = {makeProcess(QStringLiteral("sleep"), child.pid(), 0, 1)};
    const QString title = QStringLiteral("Stop sleep");

    r.type(QStringLiteral("stop sleep"));
    GateWarningSheet* sheet = r.view->warningSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->titleLabel()->text(), QStringLiteral("Heads up: Stop sleep"));
    EXPECT_EQ(sheet->trailingButton()->text(), QStringLiteral("Arm YOLO\u2026"));
    EXPECT_FALSE(r.view->input()->isEnabled()) << "the panel below a sheet takes no input";
    QTest::keyClick(sheet->cancelButton(), Qt::Key_Return);  // Return is nobody's default
    EXPECT_EQ(r.view->warningSheet(), sheet);
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(r.warnings(title), 1);
    EXPECT_EQ(r.lastRow()->bubble()->text(), QStringLiteral("Cancelled. Nothing was changed."));
    EXPECT_EQ(r.view->warningSheet(), nullptr);
    ChatRig::settle();
    EXPECT_TRUE(r.view->input()->isEnabled());

    r.type(QStringLiteral("stop sleep"));
    ASSERT_NE(r.view->warningSheet(), nullptr);
    EXPECT_EQ(r.view->warningSheet()->titleLabel()->text(), QStringLiteral("Last warning: Stop sleep"));
    QTest::keyClick(r.view->warningSheet()->cancelButton(), Qt::Key_Escape);  // Escape is Cancel
    EXPECT_EQ(r.warnings(title), 2);
    ChatRig::settle();

    r.type(QStringLiteral("stop sleep"));
    sheet = r.view->warningSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->titleLabel()->text(), QStringLiteral("Blocked \u2014 needs YOLO"));
    EXPECT_EQ(sheet->icon()->name(), QStringLiteral("lock.fill"));
    EXPECT_TRUE(sheet->shownTexts().contains(GateWarningContent::blockedNote));
    EXPECT_FALSE(sheet->shownTexts().contains(ActionGate::blockedReason));

    // Arm YOLO…: the warning sheet goes without counting, the arming sheet comes, nothing stays pending.
    ActionGate::recordActiveModel(r.defaults, QStringLiteral("Claude (own key)"), true);
    QTest::mouseClick(sheet->trailingButton(), Qt::LeftButton);
    EXPECT_EQ(r.view->warningSheet(), nullptr);
    EXPECT_FALSE(r.view->controller().pendingAction());
    EXPECT_EQ(r.warnings(title), 2);
    YoloArmingSheet* arming = r.view->yoloSheet();
    ASSERT_NE(arming, nullptr);
    EXPECT_FALSE(arming->banner()->isVisibleTo(arming));
    QTest::keyClicks(arming->passwordField(), kPassword);
    const struct {
        QString button, counter;
        int dots;
    } steps[] = {{QStringLiteral("Confirm (1/3)"), QStringLiteral("Confirmation 1 of 3"), 0},
                 {QStringLiteral("Confirm (2/3)"), QStringLiteral("Confirmation 2 of 3"), 1},
                 {QStringLiteral("Arm YOLO"), QStringLiteral("Confirmation 3 of 3"), 2}};
    for (const auto& step : steps) {
        ASSERT_EQ(r.view->yoloSheet(), arming);
        EXPECT_EQ(arming->confirmButton()->text(), step.button);
        EXPECT_EQ(arming->counter()->text(), step.counter);
        EXPECT_EQ(arming->filledDots(), step.dots);
        EXPECT_EQ(arming->concern()->text(), YoloArmingState::stepConcerns.at(step.dots));
        EXPECT_EQ(r.view->badge()->label(), QStringLiteral("SAFE"));
        QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    }
    EXPECT_TRUE(r.gate.yoloArmed());
    EXPECT_EQ(r.view->yoloSheet(), nullptr);
    EXPECT_FALSE(r.view->controller().showYoloSheet());
    EXPECT_EQ(r.view->badge()->label(), QStringLiteral("YOLO ARMED"));
    EXPECT_EQ(::kill(child.pid(), 0), 0) << "arming does not run the earlier request";
    ChatRig::settle();

    // Armed: the request is offered once more, and Proceed stops the child.
    r.type(QStringLiteral("stop sleep"));
    ASSERT_NE(r.view->warningSheet(), nullptr);
    EXPECT_EQ(r.view->warningSheet()->titleLabel()->text(), QStringLiteral("YOLO armed \u2014 confirm"));
    EXPECT_EQ(r.view->warningSheet()->trailingButton()->text(), QStringLiteral("Proceed"));
    QTest::mouseClick(r.view->warningSheet()->trailingButton(), Qt::LeftButton);
    EXPECT_EQ(r.lastRow()->bubble()->text(),
              QStringLiteral("Sent stop signal to sleep (pid %1).").arg(child.pid()));
    ASSERT_TRUE(child.waitForExit(std::chrono::seconds(5)));
    EXPECT_EQ(child.terminatingSignal(), SIGTERM);
    EXPECT_EQ(r.view->warningSheet(), nullptr);
}

TEST(TavrilonChatView, DismissingASheetOtherwiseCountsNothing)
{
    ChatRig r;
    r.type(QStringLiteral("stop chrome"));
    ASSERT_NE(r.view->warningOverlay(), nullptr);
    const int rows = r.view->rows().size();
    QTest::mouseClick(r.view->warningOverlay(), Qt::LeftButton, {}, QPoint(4, 4));  // the scrim, outside the sheet
    EXPECT_EQ(r.view->warningSheet(), nullptr);
    EXPECT_FALSE(r.view->controller().pendingAction());
    EXPECT_EQ(r.warnings(QStringLiteral("Stop chrome")), 0);
    EXPECT_EQ(r.view->rows().size(), rows);
}

TEST(TavrilonChatView, ArmingSheetResetsOnAWrongPasswordAndStartsFreshEachTime)
{
    ChatRig r;
    ActionGate::recordActiveModel(r.defaults, QStringLiteral("Claude (own key)"), true);
    r.view->controller().setShowYoloSheet(true);
    YoloArmingSheet* arming = r.view->yoloSheet();
    ASSERT_NE(arming, nullptr);
    QTest::keyClicks(arming->passwordField(), kPassword);
    QTest::keyClick(arming->passwordField(), Qt::Key_Return);  // neither counts nor arms
    EXPECT_EQ(arming->counter()->text(), QStringLiteral("Confirmation 1 of 3"));
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(arming->confirmButton()->text(), QStringLiteral("Arm YOLO"));
    arming->passwordField()->setText(QStringLiteral("000000"));
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(arming->confirmButton()->text(), QStringLiteral("Confirm (1/3)"));
    EXPECT_EQ(arming->filledDots(), 0);
    EXPECT_TRUE(arming->errorLabel()->isVisibleTo(arming));
    EXPECT_EQ(arming->errorLabel()->text(), QStringLiteral("Wrong password."));
    EXPECT_EQ(arming->concern()->text(), YoloArmingState::stepConcerns.at(0));
    EXPECT_EQ(arming->passwordField()->text(), QStringLiteral("000000"));
    EXPECT_FALSE(r.gate.yoloArmed());

    QTest::keyClick(arming->passwordField(), Qt::Key_Escape);
    EXPECT_EQ(r.view->yoloSheet(), nullptr);
    EXPECT_FALSE(r.view->controller().showYoloSheet());
    EXPECT_FALSE(r.gate.yoloArmed());
    ChatRig::settle();

    // Ineligible backend: the banner shows at once, and a right password is refused every time.
    ActionGate::recordActiveModel(r.defaults, QStringLiteral("Ollama (local)"), false);
    r.view->controller().setShowYoloSheet(true);
    arming = r.view->yoloSheet();
    ASSERT_NE(arming, nullptr);
    EXPECT_TRUE(arming->passwordField()->text().isEmpty());
    EXPECT_EQ(arming->confirmButton()->text(), QStringLiteral("Confirm (1/3)"));
    EXPECT_FALSE(arming->errorLabel()->isVisibleTo(arming));
    EXPECT_TRUE(arming->banner()->isVisibleTo(arming));
    EXPECT_TRUE(arming->banner()->text().contains(QStringLiteral("\u201COllama (local)\u201D, which is not eligible.")));
    QTest::keyClicks(arming->passwordField(), kPassword);
    QTest::mouseClick(arming->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(arming->errorLabel()->text(),
              QStringLiteral("Not eligible \u2014 backend \u201COllama (local)\u201D is not an Opus-class model."));
    EXPECT_EQ(arming->filledDots(), 0);
    QTest::mouseClick(arming->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(r.view->yoloSheet(), nullptr);
    EXPECT_FALSE(r.gate.yoloArmed());
}

TEST(TavrilonChatView, ThinkingLineWhileASlowModelAnswersAndTheWindowStaysResponsive)
{
    ScriptedServer ollama;
    ollama.script({ScriptedServer::Reply{200, R"({"message":{"content":"Entropy always wins."}})", false, 1500}});
    ChatRig r;
    r.settings.setOllamaEnabled(true);
    r.settings.setOllamaEndpoint(ollama.base());

    r.type(QStringLiteral("write me a poem about rain"));
    EXPECT_TRUE(r.view->thinkingLine()->isVisible());
    // While the question is out, the loop keeps turning and another line is answered at once.
    QElapsedTimer clock;
    clock.start();
    qint64 longestGap = 0, last = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(10);
    QTest::qWait(150);
    r.type(QStringLiteral("hi"));
    EXPECT_EQ(r.lastRow()->backendLabel()->text(), QStringLiteral("on-device"));
    EXPECT_TRUE(r.view->thinkingLine()->isVisible());
    QTest::qWait(50);
    EXPECT_GT(r.view->thinkingLine()->y(), r.lastRow()->geometry().bottom()) << "below the newest message";

    ASSERT_TRUE(QTest::qWaitFor([&] { return !r.view->thinkingLine()->isVisible(); }, 10000));
    EXPECT_LT(longestGap, 1000);  // a blocked loop would stall for the server's whole 1.5 s
    EXPECT_EQ(r.lastRow()->bubble()->text(), QStringLiteral("Entropy always wins."));
    EXPECT_EQ(r.lastRow()->backendLabel()->text(), QStringLiteral("Ollama (local)"));
    EXPECT_EQ(ollama.requests().size(), 1u);
}

TEST(TavrilonChatView, EachNewMessageScrollsToItButTheThinkingLineDoesNot)
{
    ChatRig r;
    QScrollBar* bar = r.view->conversation()->verticalScrollBar();
    for (int i = 0; i < 12; ++i) r.type(QStringLiteral("hi"));
    ASSERT_GT(bar->maximum(), 0);
    QWidget* viewport = r.view->conversation()->viewport();
    const auto newestBottom = [&] { return r.lastRow()->mapTo(viewport, QPoint(0, r.lastRow()->height())).y(); };
    const auto newestInView = [&] { return std::abs(newestBottom() - viewport->height()) <= 10; };
    // The scroll animates; a busy machine may take longer than its nominal time.
    EXPECT_TRUE(QTest::qWaitFor(newestInView, 5000)) << newestBottom() << " vs " << viewport->height();
    auto* scrolling = r.view->findChild<QPropertyAnimation*>();
    ASSERT_NE(scrolling, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scrolling->state() == QAbstractAnimation::Stopped; }, 5000));

    bar->setValue(0);
    const int before = bar->value();
    r.view->thinkingLine()->show();
    QTest::qWait(300);
    r.view->thinkingLine()->hide();
    QTest::qWait(50);
    EXPECT_EQ(bar->value(), before);

    r.type(QStringLiteral("hi"));
    EXPECT_TRUE(QTest::qWaitFor(newestInView, 5000)) << newestBottom() << " vs " << viewport->height();
}
