#include "core/AppSettings.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

using namespace SettingsStyle;

namespace {

class AutomationPage : public SettingsPage {
public:
    AutomationPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        rows()->addWidget(new SectionHeader(QStringLiteral("Automation & Guards"), QStringLiteral("bolt.badge.automatic")));
        rows()->addWidget(makeText(QStringLiteral("Everything Veltranmoor does on its own, in one place. Each of these acts "
                                              "without prompting you first, so each one can be turned off here."),
                               sysFont(12), gray, true));

        auto* first = new SettingsCard(16);
        first->content()->addWidget(toggleRow(
            QStringLiteral("aiWorkloadModeEnabled"), QStringLiteral("AI Workload Mode"),
            QStringLiteral("When it sees Cursor, Ollama, LM Studio, llama-server, ComfyUI or Aider running, it lowers "
                           "the priority of background apps (Spotify, Slack, Discord, Thunderbird, Telegram) and of the "
                           "Search Index, and pauses cloud sync to give the AI tool a clear runway."),
            [&s] { return s.aiWorkloadModeEnabled(); }, [&s](bool on) { s.setAiWorkloadModeEnabled(on); }));
        auto* pause = new QWidget;
        pause->setObjectName(QStringLiteral("pauseRow"));
        auto* pauseLine = new QHBoxLayout(pause);
        pauseLine->setContentsMargins(0, 0, 0, 0);
        pauseLine->setSpacing(8);
        pauseLine->addWidget(makeText(QStringLiteral("Pause cloud sync for"), sysFont(11), gray, false, pause));
        pauseLine->addWidget(stepper(QStringLiteral("aiWorkloadModePauseDurationMin"), 5, 60, 5,
                                     [&s] { return s.aiWorkloadModePauseDurationMin(); },
                                     [&s](qint64 v) { s.setAiWorkloadModePauseDurationMin(v); },
                                     [](qint64 v) { return QString::number(v) + QStringLiteral(" min"); }));
        pauseLine->addStretch(1);
        visibleWhen(pause, [&s] { return s.aiWorkloadModeEnabled(); });
        first->content()->addWidget(pause);
        first->content()->addWidget(divider());

        first->content()->addWidget(toggleRow(
            QStringLiteral("gpuThermalAutoThrottleEnabled"), QStringLiteral("GPU Thermal Auto-Throttle"),
            QStringLiteral("Eases off GPU-heavy processes when the GPU runs hotter than the threshold below."),
            [&s] { return s.gpuThermalAutoThrottleEnabled(); }, [&s](bool on) { s.setGpuThermalAutoThrottleEnabled(on); }));
        auto* threshold = new QWidget;
        threshold->setObjectName(QStringLiteral("thresholdStack"));
        auto* thresholdColumn = new QVBoxLayout(threshold);
        thresholdColumn->setContentsMargins(0, 0, 0, 0);
        thresholdColumn->setSpacing(6);
        QLabel* degrees = makeText(QString(), mono(13, QFont::Bold), Qt::white);
        degrees->setObjectName(QStringLiteral("thresholdLabel"));
        liveText(degrees, [&s] { return s.formatTemperature(s.gpuThermalThresholdC(), true); });
        accentInk(degrees);
        thresholdColumn->addWidget(controlRow(makeText(QStringLiteral("Throttle above"), sysFont(11), gray), degrees));
        thresholdColumn->addWidget(slider(QStringLiteral("gpuThermalThresholdC"), 60, 100, 1,
                                          [&s] { return s.gpuThermalThresholdC(); },
                                          [&s](double v) { s.setGpuThermalThresholdC(v); }));
        visibleWhen(threshold, [&s] { return s.gpuThermalAutoThrottleEnabled(); });
        first->content()->addWidget(threshold);
        first->content()->addWidget(divider());
        first->content()->addWidget(toggleRow(
            QStringLiteral("preemptiveMemoryReliefEnabled"), QStringLiteral("Pre-emptive Memory Relief"),
            QStringLiteral("When Veltranmoor predicts a memory-pressure spike within ten minutes, it frees memory ahead of "
                           "it instead of waiting for the stall. At most one action every ten minutes."),
            [&s] { return s.preemptiveMemoryReliefEnabled(); }, [&s](bool on) { s.setPreemptiveMemoryReliefEnabled(on); }));
        rows()->addWidget(first);

        auto* second = new SettingsCard(16);
        const auto setSnooze = env.setSnoozeGuardEnabled;
        second->content()->addWidget(toggleRow(
            QStringLiteral("snoozeGuardEnabled"), QStringLiteral("Snooze Guard"),
            QStringLiteral("Watches for drowsiness at the keyboard and raises an escalating alert. OFF by default \u2014 it "
                           "has a history of false positives, including firing at someone simply standing near the "
                           "computer. Turn it on only if you want it."),
            [&s] { return s.snoozeGuardEnabled(); },
            [&s, setSnooze](bool on) {
                // The guard stores the switch itself, then starts or stops.
                if (setSnooze) setSnooze(on);
                else s.setSnoozeGuardEnabled(on);
            }));
        second->content()->addWidget(divider());
        auto* history = new QWidget;
        auto* historyColumn = new QVBoxLayout(history);
        historyColumn->setContentsMargins(0, 0, 0, 0);
        historyColumn->setSpacing(6);
        QLabel* hours = makeText(QString(), mono(13, QFont::Bold), Qt::white);
        hours->setObjectName(QStringLiteral("historyLabel"));
        liveText(hours, [&s] {
            const double v = s.historyRetentionHours();
            return (std::isfinite(v) && std::fabs(v) < 9.2e18 ? QString::number(qint64(v)) : QStringLiteral("\u2014")) +
                   QStringLiteral("h");
        });
        accentInk(hours);
        historyColumn->addWidget(controlRow(
            settingsToggleLabel(QStringLiteral("Keep Performance History For"),
                                QStringLiteral("How far back the dashboard graphs and trend detection can look. Longer "
                                               "history uses more memory.")),
            hours));
        historyColumn->addWidget(slider(QStringLiteral("historyRetentionHours"), 1, 168, 1,
                                        [&s] { return s.historyRetentionHours(); },
                                        [&s](double v) { s.setHistoryRetentionHours(v); }));
        second->content()->addWidget(history);
        rows()->addWidget(second);
    }

private:
    void accentInk(QLabel* label)
    {
        onRefresh([this, label] {
            setInk(label, QPalette::WindowText, accent());
        });
    }
};

}  // namespace

SettingsPage* makeAutomationPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new AutomationPage(env, state);
}
