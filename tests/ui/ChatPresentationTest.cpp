#include "actions/ActionGate.h"
#include "core/UserDefaults.h"
#include "support/ManualClock.h"
#include "ui/chat/ChatPresentation.h"
#include "ui/chat/GateWarningContent.h"
#include "ui/chat/YoloArmingState.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

const PaletteTheme& palette() { return PaletteTheme::circuit(); }

TavrilonAction stopAction(QStringList concerns = {QStringLiteral("Unsaved work is lost.")},
                          QStringList safer = {QStringLiteral("Quit it yourself.")})
{
    TavrilonAction a;
    a.title = QStringLiteral("Stop chrome");
    a.detail = QStringLiteral("Force-quits the process matching \u201Cchrome\u201D.");
    a.risk = ActionRisk::destructive;
    a.concerns = std::move(concerns);
    a.saferAlternatives = std::move(safer);
    return a;
}

struct GateStore {
    QTemporaryDir dir;
    ManualClock clock;
    UserDefaults defaults{dir.path() + QStringLiteral("/settings.json")};
    ActionGate gate{defaults, clock};
};

const QString kPassword = QStringLiteral("527139");

}  // namespace

TEST(ChatPresentation, BadgeAndRowLooksFollowThePalette)
{
    const PaletteTheme& t = palette();
    const auto safe = ChatPresentation::yoloBadge(false, t);
    EXPECT_EQ(safe.label, QStringLiteral("SAFE"));
    EXPECT_EQ(safe.dot, t.success);
    EXPECT_EQ(safe.labelColor, t.textDim);
    EXPECT_EQ(safe.outline, t.border);
    const auto armed = ChatPresentation::yoloBadge(true, t);
    EXPECT_EQ(armed.label, QStringLiteral("YOLO ARMED"));
    EXPECT_EQ(armed.dot, t.danger);
    EXPECT_EQ(armed.labelColor, t.danger);
    EXPECT_EQ(armed.outline, t.danger);

    using Side = ChatPresentation::Side;
    const struct {
        ChatMessage::Role role;
        Side side;
        QColor text;
        QColor fill;
    } rows[] = {
        {ChatMessage::Role::user, Side::trailing, t.textBright, withOpacity(t.accent, 0.18)},
        {ChatMessage::Role::tavrilon, Side::leading, t.text, t.surface},
        {ChatMessage::Role::system, Side::leading, t.textDim, withOpacity(t.surface, 0.4)},
    };
    for (const auto& r : rows) {
        ChatMessage m;
        m.role = r.role;
        m.text = QStringLiteral("hi");
        const auto look = ChatPresentation::messageRow(m, t);
        EXPECT_EQ(look.side, r.side) << int(r.role);
        EXPECT_EQ(look.textColor, r.text) << int(r.role);
        EXPECT_EQ(look.bubbleFill, r.fill) << int(r.role);
        EXPECT_FALSE(look.showsUndo);
        EXPECT_FALSE(look.backendLabel);
    }
    ChatMessage withBoth;
    withBoth.role = ChatMessage::Role::tavrilon;
    withBoth.undo = [] {};
    withBoth.backendLabel = QStringLiteral("Ollama (local)");
    const auto look = ChatPresentation::messageRow(withBoth, t);
    EXPECT_TRUE(look.showsUndo);
    EXPECT_EQ(look.backendLabel, QStringLiteral("Ollama (local)"));
}

TEST(GateWarningContent, TitleIconCardsNoteAndButtonPerDecision)
{
    const PaletteTheme& t = palette();
    const QString triangle = QStringLiteral("exclamationmark.triangle.fill");
    const QString armYolo = QStringLiteral("Arm YOLO\u2026");
    const struct {
        GateDecision decision;
        QString icon;
        QColor iconColor;
        QString title;
        bool note;
        QString trailing;
    } cases[] = {
        {GateDecision::warnFirst({QStringLiteral("x")}, {}), triangle, t.warning, QStringLiteral("Heads up: Stop chrome"), false, armYolo},
        {GateDecision::warnFinal({}, {}), triangle, t.warning, QStringLiteral("Last warning: Stop chrome"), false, armYolo},
        {GateDecision::blockedNeedsYolo(ActionGate::blockedReason), QStringLiteral("lock.fill"), t.danger,
         QStringLiteral("Blocked \u2014 needs YOLO"), true, armYolo},
        {GateDecision::allowYolo({}), triangle, t.warning, QStringLiteral("YOLO armed \u2014 confirm"), false,
         QStringLiteral("Proceed")},
        {GateDecision::allowFree(), triangle, t.warning, QStringLiteral("Heads up: Stop chrome"), false, armYolo},
        {GateDecision::allowWithUndo(), triangle, t.warning, QStringLiteral("Heads up: Stop chrome"), false, armYolo},
    };
    for (const auto& c : cases) {
        const GateWarningContent w = GateWarningContent::make(stopAction(), c.decision, t);
        SCOPED_TRACE(c.title.toStdString());
        EXPECT_EQ(w.icon, c.icon);
        EXPECT_EQ(w.iconColor, c.iconColor);
        EXPECT_EQ(w.title, c.title);
        EXPECT_EQ(w.detail, stopAction().detail);
        // The cards come from the action, whatever lists the decision carries.
        ASSERT_TRUE(w.safer);
        EXPECT_EQ(w.safer->title, QStringLiteral("TRY THIS FIRST \u2014 SAFER"));
        EXPECT_EQ(w.safer->color, t.success);
        EXPECT_EQ(w.safer->items, stopAction().saferAlternatives);
        ASSERT_TRUE(w.concerns);
        EXPECT_EQ(w.concerns->title, QStringLiteral("WHAT YOU'RE ALLOWING"));
        EXPECT_EQ(w.concerns->color, t.danger);
        EXPECT_EQ(w.concerns->items, stopAction().concerns);
        EXPECT_EQ(w.note.has_value(), c.note);
        if (w.note) {
            EXPECT_EQ(*w.note, QStringLiteral("YOLO mode is off and you've already been warned twice. Arm YOLO "
                                              "(password-locked, your own Opus-class key) to allow irreversible actions."));
        }
        EXPECT_EQ(w.cancelLabel, QStringLiteral("Cancel"));
        EXPECT_EQ(w.trailingLabel, c.trailing);
        EXPECT_EQ(w.trailing == GateWarningContent::Trailing::proceed, c.trailing == QStringLiteral("Proceed"));
        EXPECT_EQ(w.trailingColor, t.danger);
    }

    const GateWarningContent bare =
        GateWarningContent::make(stopAction({}, {}), GateDecision::blockedNeedsYolo(ActionGate::blockedReason), t);
    EXPECT_FALSE(bare.safer);
    EXPECT_FALSE(bare.concerns);
    EXPECT_TRUE(bare.note);
    EXPECT_FALSE(GateWarningContent::make(stopAction({QStringLiteral("c")}, {}), GateDecision::warnFirst({}, {}), t).safer);
    EXPECT_FALSE(GateWarningContent::make(stopAction({}, {QStringLiteral("s")}), GateDecision::warnFirst({}, {}), t).concerns);
}

TEST(YoloArmingState, ThreeConfirmationsInARowArmTheGate)
{
    GateStore s;
    ActionGate::recordActiveModel(s.defaults, QStringLiteral("Claude (own key)"), true);
    EXPECT_FALSE(YoloArmingState::eligibilityBanner(s.gate));

    YoloArmingState state;
    state.password = kPassword;
    const struct {
        QString label, counter;
        int concern, dots;
    } steps[] = {
        {QStringLiteral("Confirm (1/3)"), QStringLiteral("Confirmation 1 of 3"), 0, 0},
        {QStringLiteral("Confirm (2/3)"), QStringLiteral("Confirmation 2 of 3"), 1, 1},
        {QStringLiteral("Arm YOLO"), QStringLiteral("Confirmation 3 of 3"), 2, 2},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(state.confirmLabel(), step.label);
        EXPECT_EQ(state.counterText(), step.counter);
        EXPECT_EQ(state.stepConcern(), YoloArmingState::stepConcerns.at(step.concern));
        for (int i = 0; i < 3; ++i) EXPECT_EQ(state.dotFilled(i), i < step.dots) << step.counter.toStdString();
        EXPECT_FALSE(s.gate.yoloArmed());
        const bool closes = state.press(s.gate);
        EXPECT_EQ(closes, step.dots == 2);
        EXPECT_FALSE(state.errorText());
    }
    EXPECT_TRUE(s.gate.yoloArmed());
    EXPECT_EQ(s.defaults.getBool(ActionGate::yoloKey), true);
}

TEST(YoloArmingState, WrongPasswordOrIneligibleBackendStartsAgain)
{
    GateStore s;
    ActionGate::recordActiveModel(s.defaults, QStringLiteral("Claude (own key)"), true);
    YoloArmingState state;
    state.password = kPassword;
    EXPECT_FALSE(state.press(s.gate));
    EXPECT_FALSE(state.press(s.gate));
    state.password = QStringLiteral("527130");
    EXPECT_FALSE(state.press(s.gate));  // the third press, with a wrong password
    EXPECT_EQ(state.confirmations(), 0);
    EXPECT_EQ(state.errorText(), QStringLiteral("Wrong password."));
    EXPECT_EQ(state.confirmLabel(), QStringLiteral("Confirm (1/3)"));
    EXPECT_EQ(state.stepConcern(), YoloArmingState::stepConcerns.at(0));
    EXPECT_EQ(state.password, QStringLiteral("527130"));  // the field keeps its text
    state.password = kPassword;
    EXPECT_FALSE(state.press(s.gate));
    EXPECT_EQ(state.confirmations(), 1);
    EXPECT_FALSE(state.errorText());
    EXPECT_FALSE(s.gate.yoloArmed());

    // No frontier answer yet and no label: the banner and the refusal both say "unknown".
    GateStore fresh;
    const QString unknownBanner = QStringLiteral(
        "YOLO requires your own Opus-class API key (Settings \u2192 AI \u2192 bring your own key). The current "
        "backend is \u201Cunknown\u201D, which is not eligible.");
    EXPECT_EQ(YoloArmingState::eligibilityBanner(fresh.gate), unknownBanner);
    YoloArmingState ineligible;
    ineligible.password = QString();
    EXPECT_FALSE(ineligible.press(fresh.gate));
    EXPECT_EQ(ineligible.errorText(), QStringLiteral("Wrong password."));  // the password is tested first
    ineligible.password = kPassword;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(ineligible.press(fresh.gate));
        EXPECT_EQ(ineligible.confirmations(), 0);
        EXPECT_EQ(ineligible.errorText(),
                  QStringLiteral("Not eligible \u2014 backend \u201Cunknown\u201D is not an Opus-class model."));
    }
    EXPECT_FALSE(fresh.gate.yoloArmed());
    ActionGate::recordActiveModel(fresh.defaults, QStringLiteral("Ollama (local)"), false);
    EXPECT_TRUE(YoloArmingState::eligibilityBanner(fresh.gate)->contains(QStringLiteral("\u201COllama (local)\u201D")));
}
