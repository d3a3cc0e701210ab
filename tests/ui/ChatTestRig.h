#pragma once

#include "actions/ActionGate.h"
#include "assistant/AssistantFakes.h"
#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "support/ManualClock.h"
#include "ui/chat/GateWarningSheet.h"
#include "ui/chat/MessageRow.h"
#include "ui/chat/TavrilonChatView.h"
#include "ui/chat/YoloArmingSheet.h"
#include "ui/theme/ThemeManager.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A chat panel on its own, in a window, over a private settings store and scriptable
// collaborators; the process stopper and the cache cleaner can be the real ones.
struct ChatRig {
    QTemporaryDir dir;
    ManualClock clock;
    UserDefaults defaults{dir.path() + QStringLiteral("/settings.json")};
    AppSettings settings{defaults, clock, QLocale(QLocale::English, QLocale::UnitedKingdom)};
    ThemeManager themes{defaults};
    ActionGate gate{defaults, clock};
    ModelBackendClient backends{settings};
    ModelRouter router{settings, backends, [this](const QString& label, bool frontier) {
                           ActionGate::recordActiveModel(defaults, label, frontier);
                       }};
    FakeWorld world;
    std::unique_ptr<TavrilonChatView> view;

    explicit ChatRig(ProcessStopper* processes = nullptr, CacheCleaner* cleaner = nullptr)
    {
        const AssistantServices services{world.monitor, world.battery, world.profiles, world.insights,
                                         cleaner ? *cleaner : world.cleaner, world.dns,
                                         processes ? *processes : world.recordingProcesses};
        view = std::make_unique<TavrilonChatView>(themes, gate, router, services);
        view->resize(560, 620);
        view->show();
        (void)QTest::qWaitForWindowExposed(view.get());
    }

    void type(const QString& line) const
    {
        QTest::keyClicks(view->input(), line);
        QTest::keyClick(view->input(), Qt::Key_Return);
    }
    QStringList texts() const
    {
        QStringList out;
        for (MessageRow* row : view->rows()) out << row->bubble()->text();
        return out;
    }
    MessageRow* lastRow() const { return view->rows().last(); }
    int warnings(const QString& title) const { return gate.destructiveWarnings().value(title, 0); }
    // Waits for the deferred deletion of a closed sheet.
    static void settle() { QTest::qWait(20); }
};
