#include "actions/AutoPilot.h"
#include "core/AppSettings.h"
#include "core/ByteCountFormatter.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/theme/TavrilonToggle.h"
#include "ui/settings/SettingsPages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

using namespace SettingsStyle;

QString autoPilotHourLabel(qint64 hour)
{
    qint64 shown = 12;
    if (hour >= 1) {
        shown = std::min<qint64>(hour, 23);
        if (shown > 12) shown -= 12;
    }
    const bool morning = hour < 12;
    return QString::asprintf("%d:00 ", int(shown)) + (morning ? QStringLiteral("AM") : QStringLiteral("PM"));
}

namespace {

// An abbreviated date with a short time, in the user's locale.
QString dateText(const QDateTime& when)
{
    const QLocale locale;
    const QDateTime local = when.toLocalTime();
    return locale.toString(local.date(), QStringLiteral("MMM d, yyyy")) + QStringLiteral(", ") +
           locale.toString(local.time(), QLocale::ShortFormat);
}

class AutoPilotPage : public SettingsPage {
public:
    AutoPilotPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        AutoPilot& pilot = env.autoPilot;
        refreshOn(&pilot, &AutoPilot::changed);
        rows()->addWidget(new SectionHeader(QStringLiteral("AutoPilot \u2014 Scheduled Maintenance"),
                                            QStringLiteral("wand.and.rays")));
        rows()->addWidget(makeText(QStringLiteral("AutoPilot runs gentle, scheduled maintenance while you sleep \u2014 "
                                              "clearing caches, cleaning old downloads, archiving logs. All operations "
                                              "are sandbox-safe."),
                               sysFont(12), gray, true));

        // Card 1: the switch and the hour.
        auto* first = new SettingsCard(16);
        first->content()->addWidget(toggleRow(QStringLiteral("autoPilotEnabled"), QStringLiteral("Enable AutoPilot"),
                                              QStringLiteral("Run scheduled maintenance routines automatically"),
                                              [&s] { return s.autoPilotEnabled(); },
                                              [&s](bool on) { s.setAutoPilotEnabled(on); }));
        first->content()->addWidget(divider());
        auto* hour = new QWidget;
        auto* hourColumn = new QVBoxLayout(hour);
        hourColumn->setContentsMargins(0, 0, 0, 0);
        hourColumn->setSpacing(6);
        QLabel* hourValue = accentText(mono(13, QFont::Bold), QStringLiteral("hourLabel"));
        liveText(hourValue, [&s] { return autoPilotHourLabel(s.scheduledMaintenanceHour()); });
        hourColumn->addWidget(controlRow(makeText(QStringLiteral("Scheduled Run Time"), sysFont(13, QFont::Medium), Qt::white),
                                         hourValue));
        QSlider* hourSlider = slider(QStringLiteral("scheduledMaintenanceHour"), 0, 23, 1,
                                     [&s] { return double(s.scheduledMaintenanceHour()); },
                                     [&s](double v) { s.setScheduledMaintenanceHour(qint64(v)); });
        enabledWhen(hourSlider, [&s] { return s.autoPilotEnabled(); });
        hourColumn->addWidget(hourSlider);
        hourColumn->addWidget(makeText(QStringLiteral("Quiet hours work best \u2014 overnight or while you're away from the "
                                                  "keyboard."),
                                   sysFont(10), gray, true));
        first->content()->addWidget(hour);
        rows()->addWidget(first);

        // Card 2: the two tasks that touch files.
        auto* second = new SettingsCard(16);
        second->content()->addWidget(taskBlock(
            QStringLiteral("autoCleanDownloads"), QStringLiteral("Clean Old Downloads"), true,
            QStringLiteral("Move downloads older than the threshold to the Trash"),
            QStringLiteral("OFF by default. These are your files, so Veltranmoor will not touch them unless you turn this "
                           "on. Nothing is destroyed \u2014 items go to the Trash and you can put them back."),
            QStringLiteral("downloadCleanupDays"), 7, 90, [&s] { return s.autoCleanDownloads(); },
            [&s](bool on) { s.setAutoCleanDownloads(on); }, [&s] { return s.downloadCleanupDays(); },
            [&s](qint64 v) { s.setDownloadCleanupDays(v); }));
        second->content()->addWidget(divider());
        second->content()->addWidget(taskBlock(
            QStringLiteral("autoCleanLogs"), QStringLiteral("Archive Old Logs"), false,
            QStringLiteral("Move app log files older than the threshold to the Trash"),
            QStringLiteral("Logs are regenerated by the apps that write them; old ones go to the Trash, where you can "
                           "still get them back."),
            QStringLiteral("logCleanupDays"), 3, 30, [&s] { return s.autoCleanLogs(); },
            [&s](bool on) { s.setAutoCleanLogs(on); }, [&s] { return s.logCleanupDays(); },
            [&s](qint64 v) { s.setLogCleanupDays(v); }));
        rows()->addWidget(second);

        // Card 3: what it never does.
        auto* third = new SettingsCard(10);
        auto* never = new QWidget;
        auto* neverRow = new QHBoxLayout(never);
        neverRow->setContentsMargins(0, 0, 0, 0);
        neverRow->setSpacing(8);
        auto* trash = new SymbolView(QStringLiteral("trash.slash"), 13, gold, never);
        onRefresh([this, trash] { trash->setColor(accent()); });
        neverRow->addWidget(trash);
        neverRow->addWidget(makeText(QStringLiteral("What AutoPilot will never do"), sysFont(13, QFont::DemiBold), Qt::white));
        neverRow->addStretch(1);
        third->content()->addWidget(never);
        third->content()->addWidget(makeText(QStringLiteral("It never empties your Trash. It never permanently deletes a file "
                                                        "you made \u2014 anything of yours goes to the Trash, where you "
                                                        "can get it back. Automatic emptying of the Trash was removed in "
                                                        "4.2.1 and is not coming back as a scheduled task."),
                                         sysFont(11), gray, true));
        rows()->addWidget(third);

        // Card 4: a run now, the last and next run, the recent runs.
        auto* fourth = new SettingsCard(14);
        QLabel* runCaption = makeText(QString(), sysFont(11), gray, true);
        runCaption->setObjectName(QStringLiteral("runCaption"));
        liveText(runCaption, [&pilot] {
            return pilot.isRunning() ? pilot.currentTaskDescription() : QStringLiteral("Runs the enabled tasks above immediately.");
        });
        auto* runLabel = new QWidget;
        auto* runColumn = new QVBoxLayout(runLabel);
        runColumn->setContentsMargins(0, 0, 0, 0);
        runColumn->setSpacing(2);
        runColumn->addWidget(makeText(QStringLiteral("Run Maintenance Now"), sysFont(13, QFont::Medium), Qt::white));
        runColumn->addWidget(runCaption);
        auto* runNow = new QPushButton;
        SettingsStyle::themedButton(runNow);
        runNow->setObjectName(QStringLiteral("runNowButton"));
        onRefresh([runNow, &pilot] {
            runNow->setText(pilot.isRunning() ? QStringLiteral("Running\u2026") : QStringLiteral("Run Now"));
            runNow->setEnabled(!pilot.isRunning());
        });
        connect(runNow, &QPushButton::clicked, this, [&pilot] {
            if (!pilot.isRunning()) pilot.runNow(RunTrigger::manual);
        });
        fourth->content()->addWidget(controlRow(runLabel, runNow));
        fourth->content()->addWidget(divider());
        QLabel* last = accentText(mono(11), QStringLiteral("lastRunValue"));
        liveText(last, [&pilot] { return pilot.lastRunDate() ? dateText(*pilot.lastRunDate()) : QStringLiteral("Never"); });
        fourth->content()->addWidget(controlRow(makeText(QStringLiteral("Last run"), sysFont(11), gray), last));
        QLabel* next = accentText(mono(11), QStringLiteral("nextRunValue"));
        liveText(next, [&pilot] {
            return pilot.nextRunDate() ? dateText(*pilot.nextRunDate()) : QStringLiteral("Not scheduled");
        });
        fourth->content()->addWidget(controlRow(makeText(QStringLiteral("Next scheduled run"), sysFont(11), gray), next));
        auto* recent = rebuilt(14, [this, &pilot](QWidget* host, QVBoxLayout* column) {
            if (pilot.runHistory().isEmpty()) return;
            column->addWidget(new Divider(this->env().themeManager, Qt::Horizontal, 1.0, host));
            QLabel* title = makeText(QStringLiteral("RECENT RUNS"), DashboardStyle::tracked(mono(10, QFont::Bold), 1),
                                 withOpacity(accent(), 0.7), false, host);
            column->addWidget(title);
            const auto& runs = pilot.runHistory();
            for (qsizetype i = 0; i < std::min<qsizetype>(runs.size(), 5); ++i) {
                const MaintenanceRun& run = runs[i];
                auto* entry = new QWidget(host);
                entry->setObjectName(QStringLiteral("recentRun"));
                auto* entryColumn = new QVBoxLayout(entry);
                entryColumn->setContentsMargins(0, 3, 0, 3);
                entryColumn->setSpacing(3);
                auto* line = new QHBoxLayout;
                line->addWidget(makeText(dateText(run.startedAt), sysFont(11, QFont::Medium), Qt::white, false, entry));
                line->addStretch(1);
                line->addWidget(makeText(formatByteCount(qint64(std::min<uint64_t>(run.bytesFreed, INT64_MAX))),
                                     mono(11, QFont::Bold), accent(), false, entry));
                entryColumn->addLayout(line);
                for (const MaintenanceStep& step : run.steps) {
                    QLabel* stepRow = makeText(QStringLiteral("\u00B7 ") + step.name + QStringLiteral(" \u2014 ") + step.detail,
                                           sysFont(10), gray, true, entry);
                    stepRow->setObjectName(QStringLiteral("maintenanceStepRow"));
                    entryColumn->addWidget(stepRow);
                }
                column->addWidget(entry);
            }
        });
        fourth->content()->addWidget(recent);
        rows()->addWidget(fourth);
    }

private:
    QLabel* accentText(const QFont& f, const QString& name)
    {
        QLabel* label = makeText(QString(), f, Qt::white);
        label->setObjectName(name);
        onRefresh([this, label] {
            setInk(label, QPalette::WindowText, accent());
        });
        return label;
    }

    QWidget* taskBlock(const QString& key, const QString& title, bool badge, const QString& caption, const QString& note,
                       const QString& daysKey, qint64 minDays, qint64 maxDays, std::function<bool()> get,
                       std::function<void(bool)> set, std::function<qint64()> days, std::function<void(qint64)> setDays)
    {
        AppSettings& s = env().settings;
        auto* block = new QWidget;
        auto* column = new QVBoxLayout(block);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(8);
        auto* label = new QWidget;
        auto* labelColumn = new QVBoxLayout(label);
        labelColumn->setContentsMargins(0, 0, 0, 0);
        labelColumn->setSpacing(2);
        auto* titleRow = new QHBoxLayout;
        titleRow->setSpacing(6);
        titleRow->addWidget(makeText(title, sysFont(13, QFont::Medium), Qt::white, false, label));
        if (badge) {
            QLabel* yours = makeText(QStringLiteral("YOUR FILES"), mono(8, QFont::Bold), Qt::white, false, label);
            yours->setContentsMargins(5, 2, 5, 2);
            onRefresh([this, yours] {
                const QColor a = accent();
                const QString sheet = QStringLiteral("color: %1; border: 1px solid rgba(%2,%3,%4,153); border-radius: 7px;")
                                          .arg(a.name())
                                          .arg(a.red())
                                          .arg(a.green())
                                          .arg(a.blue());
                if (yours->styleSheet() != sheet) yours->setStyleSheet(sheet);
            });
            titleRow->addWidget(yours);
        }
        titleRow->addStretch(1);
        labelColumn->addLayout(titleRow);
        labelColumn->addWidget(makeText(caption, sysFont(11), gray, true, label));
        column->addWidget(controlRow(label, toggle(key, get, set)));
        column->addWidget(makeText(note, sysFont(10), gray, true));
        auto* daysRow = new QWidget;
        auto* daysLine = new QHBoxLayout(daysRow);
        daysLine->setContentsMargins(0, 0, 0, 0);
        daysLine->setSpacing(8);
        daysLine->addWidget(makeText(QStringLiteral("Older than"), sysFont(11), gray, false, daysRow));
        daysLine->addWidget(stepper(daysKey, minDays, maxDays, 1, days, setDays,
                                    [](qint64 v) { return QString::number(v) + QStringLiteral(" days"); }));
        daysLine->addStretch(1);
        enabledWhen(daysRow, [&s, get] { return get() && s.autoPilotEnabled(); }, true);
        column->addWidget(daysRow);
        return block;
    }
};

}  // namespace

SettingsPage* makeAutoPilotPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new AutoPilotPage(env, state);
}
