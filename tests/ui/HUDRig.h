#pragma once

// The desktop HUD's content over the dashboard's rig: the real gate, shell, harness and epitope
// library, virtual time, and actions whose bodies the test scripts.
#include "actions/EpitopeLibrary.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"
#include "ui/DashboardRig.h"
#include "ui/shell/HUDWidgetView.h"

#include <QTest>

#include <memory>

struct HUDRig {
    dashboard_rig::Rig rig;
    EpitopeLibrary library{rig.clock, rig.dir.filePath(QStringLiteral("AI"))};
    ReversibleShell shell{rig.gate, rig.scheduler};
    OutcomeHarness harness{rig.monitor, rig.scheduler, rig.clock};
    QStringList calls;
    QString cleanText = QStringLiteral("Freed 1.2 GB");
    std::unique_ptr<HUDWidgetView> view;

    HUDWidgetDeps deps()
    {
        return HUDWidgetDeps{
            .monitor = rig.monitor,
            .ai = rig.ai,
            .themes = rig.themes,
            .settings = rig.settings,
            .epitopes = library,
            .shell = shell,
            .chat = HUDMiniChat::Collaborators{rig.gate, rig.router,
                                               AssistantServices{rig.monitor, rig.quiet, rig.profiles, rig.quiet,
                                                                 rig.quiet, rig.quiet, rig.quiet},
                                               shell, harness, library, rig.executor},
            .optimize =
                QuickOptimizer::Collaborators{
                    .gate = rig.gate,
                    .history = rig.monitor,
                    .scheduler = rig.scheduler,
                    .worker = rig.executor,
                    .cleanCaches = [this] { calls << QStringLiteral("clean"); return cleanText; },
                    .relieveMemory = [this] { calls << QStringLiteral("relieve"); return QStringLiteral("Relieved"); },
                },
            .openDashboard = [this] { calls << QStringLiteral("openDashboard"); },
            .openSettings = [this] { calls << QStringLiteral("openSettings"); },
            .onClose = [this] { calls << QStringLiteral("close"); },
        };
    }

    HUDWidgetView& show()
    {
        view = std::make_unique<HUDWidgetView>(deps());
        view->show();
        (void)QTest::qWaitForWindowExposed(view.get());
        return *view;
    }

    // A measured outcome recorded the way a measured run records it.
    void recordOutcome(OutcomeMetric metric, double delta, double before = 10, double after = 20)
    {
        MeasuredOutcome o;
        o.metric = metric;
        o.epitopeID = QStringLiteral("relieve-mem");
        o.delta = delta;
        o.before = before;
        o.after = after;
        o.measuredAt = rig.clock.now();
        library.recordManualAction(o.epitopeID, QStringLiteral("Relieve memory pressure"), metric, SampleResult::value(o));
    }
};
