#include "core/AppSettings.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsPages.h"
#include "ui/settings/SettingsServices.h"
#include "ui/theme/PlainText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace SettingsStyle;

namespace QuietHours {

qint64 hourOf(qint64 minutes) { return minutes / 60; }

qint64 withHour(qint64 minutes, qint64 hour) { return hour * 60 + minutes % 60; }

QString clockText(qint64 minutes)
{
    const qint64 m = std::clamp<qint64>(minutes, 0, 1439);
    return QString::asprintf("%02d:%02d", int(m / 60), int(m % 60));
}

}  // namespace QuietHours

namespace {

class AIShieldPage : public SettingsPage {
public:
    AIShieldPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        AIShieldControls& shield = env.aiShield;
        refreshOn(&shield, &AIShieldControls::changed);
        rows()->addWidget(new SectionHeader(QStringLiteral("AI Shield"), QStringLiteral("shield.lefthalf.filled")));
        rows()->addWidget(makeText(QStringLiteral("AI Shield watches the AI processes running on your computer \u2014 Claude, "
                                              "Cursor, Ollama, llama-server and others: the files they open, the network "
                                              "endpoints they reach, advisory boundary alerts, and quiet-hours "
                                              "suspension. No blocking \u2014 observation and reversible pause only."),
                               sysFont(12), gray, true));

        // Quiet hours.
        auto* quiet = new SettingsCard(16);
        quiet->content()->addWidget(toggleRow(QStringLiteral("aiShieldQuietHoursEnabled"), QStringLiteral("Quiet Hours"),
                                              QStringLiteral("Auto-pause (SIGSTOP) all AI processes during the configured "
                                                             "window. Reversible."),
                                              [&s] { return s.aiShieldQuietHoursEnabled(); },
                                              [&s](bool on) { s.setAiShieldQuietHoursEnabled(on); }));
        quiet->content()->addWidget(divider());
        auto* hours = new QWidget;
        hours->setObjectName(QStringLiteral("quietHoursRow"));
        auto* hoursLine = new QHBoxLayout(hours);
        hoursLine->setContentsMargins(0, 0, 0, 0);
        hoursLine->setSpacing(16);
        hoursLine->addWidget(hourColumn(QStringLiteral("Start"), QStringLiteral("aiShieldQuietHoursStartMin"),
                                        [&s] { return s.aiShieldQuietHoursStartMin(); },
                                        [&s](qint64 v) { s.setAiShieldQuietHoursStartMin(v); }));
        hoursLine->addWidget(makeText(QStringLiteral("\u2192"), sysFont(14, QFont::Bold), gray));
        hoursLine->addWidget(hourColumn(QStringLiteral("End"), QStringLiteral("aiShieldQuietHoursEndMin"),
                                        [&s] { return s.aiShieldQuietHoursEndMin(); },
                                        [&s](qint64 v) { s.setAiShieldQuietHoursEndMin(v); }));
        hoursLine->addStretch(1);
        enabledWhen(hours, [&s] { return s.aiShieldQuietHoursEnabled(); }, true);
        quiet->content()->addWidget(hours);
        auto* banner = new QWidget;
        banner->setObjectName(QStringLiteral("quietBanner"));
        auto* bannerLine = new QHBoxLayout(banner);
        bannerLine->setContentsMargins(0, 0, 0, 0);
        auto* moon = new SymbolView(QStringLiteral("moon.fill"), 11, gold, banner);
        QLabel* bannerText = makeText(QStringLiteral("Quiet hours active \u2014 AI processes paused."), sysFont(11), gold, false,
                                  banner);
        onRefresh([this, moon, bannerText] {
            moon->setColor(accent());
            setInk(bannerText, QPalette::WindowText, accent());
        });
        bannerLine->addWidget(moon);
        bannerLine->addWidget(bannerText, 1);
        visibleWhen(banner, [&shield] { return shield.quietHoursActive(); });
        quiet->content()->addWidget(banner);
        auto* resume = new QPushButton(QStringLiteral("Resume any paused AI processes now"));
        SettingsStyle::themedButton(resume);
        resume->setObjectName(QStringLiteral("resumeButton"));
        resume->setFont(sysFont(11, QFont::Medium));
        connect(resume, &QPushButton::clicked, this, [&shield] {
            shield.setSnoozePauseActive(false);
            shield.setQuietHoursActive(false);
            shield.resumePausedProcesses(QStringLiteral("manual override"));
        });
        quiet->content()->addWidget(resume, 0, Qt::AlignLeft);
        rows()->addWidget(quiet);

        // Boundary paths.
        auto* boundary = new SettingsCard(12);
        boundary->content()->addWidget(makeText(QStringLiteral("Boundary Paths"), sysFont(13, QFont::DemiBold), Qt::white));
        boundary->content()->addWidget(makeText(QStringLiteral("If an AI process has any of these paths open, AI Shield writes "
                                                           "an alert to the log and posts a notification. Advisory only "
                                                           "\u2014 not blocked. \"~\" expands to your home directory."),
                                            sysFont(11), gray, true));
        boundary->content()->addWidget(divider());
        boundary->content()->addWidget(rebuilt(0, [this, &shield](QWidget* host, QVBoxLayout* column) {
            for (const QString& path : shield.loadBoundaryPaths()) {
                auto* row = new QWidget(host);
                row->setObjectName(QStringLiteral("boundaryRow"));
                row->setProperty("path", path);
                auto* line = new QHBoxLayout(row);
                line->setContentsMargins(0, 2, 0, 2);
                QLabel* shown = makeText(path, mono(11), Qt::white, false, row);
                shown->setMinimumWidth(40);
                shown->setText(shown->fontMetrics().elidedText(path, Qt::ElideMiddle, 420));
                shown->setToolTip(PlainText::toolTip(path));
                line->addWidget(shown, 1);
                auto* remove = new QToolButton(row);
                remove->setObjectName(QStringLiteral("removeBoundaryPath"));
                remove->setAutoRaise(true);
                remove->setToolTip(QStringLiteral("Remove"));
                remove->setIcon(symbolIcon(QStringLiteral("xmark.circle"), 14, gray));
                connect(remove, &QToolButton::clicked, this, [this, &shield, path] {
                    shield.removeBoundaryPath(path);
                    ++this->state().boundaryPathsRefreshTick;
                    refresh();
                });
                line->addWidget(remove);
                column->addWidget(row);
            }
        }));
        boundary->content()->addWidget(divider());
        auto* addRow = new QWidget;
        auto* addLine = new QHBoxLayout(addRow);
        addLine->setContentsMargins(0, 0, 0, 0);
        addLine->setSpacing(8);
        auto* path = new QLineEdit(addRow);
        path->setObjectName(QStringLiteral("newBoundaryPath"));
        path->setPlaceholderText(QStringLiteral("~/.config/anthropic"));
        path->setFont(mono(11));
        path->setText(state.newBoundaryPath);
        auto* add = new QPushButton(QStringLiteral("Add"), addRow);
        SettingsStyle::themedButton(add);
        add->setObjectName(QStringLiteral("addBoundaryPath"));
        auto* reset = new QPushButton(QStringLiteral("Reset Defaults"), addRow);
        SettingsStyle::themedButton(reset);
        reset->setObjectName(QStringLiteral("resetBoundaryPaths"));
        auto updateAdd = [this, add] { add->setEnabled(!this->state().newBoundaryPath.trimmed().isEmpty()); };
        connect(path, &QLineEdit::textChanged, this, [this, updateAdd](const QString& t) {
            this->state().newBoundaryPath = t;
            updateAdd();
        });
        onRefresh(updateAdd);
        connect(add, &QPushButton::clicked, this, [this, &shield, path] {
            const QString trimmed = this->state().newBoundaryPath.trimmed();
            if (trimmed.isEmpty()) return;
            shield.addBoundaryPath(trimmed);
            path->clear();
            ++this->state().boundaryPathsRefreshTick;
            refresh();
        });
        connect(reset, &QPushButton::clicked, this, [this, &shield] {
            shield.saveBoundaryPaths(shield.defaultBoundaryPaths());
            ++this->state().boundaryPathsRefreshTick;
            refresh();
        });
        addLine->addWidget(path, 1);
        addLine->addWidget(add);
        addLine->addWidget(reset);
        boundary->content()->addWidget(addRow);
        rows()->addWidget(boundary);

        // Live observation.
        auto* live = new SettingsCard(12);
        live->content()->addWidget(makeText(QStringLiteral("Live Observation"), sysFont(13, QFont::DemiBold), Qt::white));
        auto* counters = new QWidget;
        auto* countersLine = new QHBoxLayout(counters);
        countersLine->setContentsMargins(0, 0, 0, 0);
        countersLine->addWidget(makeText(QStringLiteral("AI processes:"), sysFont(11), gray, false, counters));
        QLabel* processes = makeText(QString(), mono(11, QFont::Bold), Qt::white, false, counters);
        processes->setObjectName(QStringLiteral("aiProcessCount"));
        onRefresh([this, processes, &shield] {
            processes->setText(QString::number(shield.aiProcessCount()));
            setInk(processes, QPalette::WindowText, accent());
        });
        countersLine->addWidget(processes);
        countersLine->addStretch(1);
        QLabel* files = makeText(QString(), mono(11), gray, false, counters);
        files->setObjectName(QStringLiteral("openFileCount"));
        liveText(files, [&shield] { return QStringLiteral("Open files: ") + QString::number(shield.openFileCount()); });
        countersLine->addWidget(files);
        QLabel* endpoints = makeText(QString(), mono(11), gray, false, counters);
        endpoints->setObjectName(QStringLiteral("endpointCount"));
        liveText(endpoints, [&shield] { return QStringLiteral("Endpoints: ") + QString::number(shield.endpointCount()); });
        countersLine->addWidget(endpoints);
        live->content()->addWidget(counters);
        auto* alert = new QWidget;
        alert->setObjectName(QStringLiteral("lastAlert"));
        auto* alertColumn = new QVBoxLayout(alert);
        alertColumn->setContentsMargins(0, 0, 0, 0);
        alertColumn->setSpacing(12);
        alertColumn->addWidget(divider());
        auto* alertText = new QWidget(alert);
        auto* alertTextColumn = new QVBoxLayout(alertText);
        alertTextColumn->setContentsMargins(0, 0, 0, 0);
        alertTextColumn->setSpacing(4);
        alertTextColumn->addWidget(makeText(QStringLiteral("Last boundary alert"), sysFont(11, QFont::DemiBold),
                                        withOpacity(red, 0.9), false, alertText));
        QLabel* who = makeText(QString(), mono(11), Qt::white, false, alertText);
        QLabel* where = makeText(QString(), mono(10), gray, true, alertText);
        where->setMaximumHeight(QFontMetrics(mono(10)).lineSpacing() * 2 + 2);
        onRefresh([&shield, who, where] {
            const auto last = shield.lastBoundaryAlert();
            if (!last) return;
            who->setText(last->processName + QStringLiteral(" (pid ") + QString::number(last->pid) + QLatin1Char(')'));
            where->setText(last->openPath);
        });
        alertTextColumn->addWidget(who);
        alertTextColumn->addWidget(where);
        alertColumn->addWidget(alertText);
        auto* clear = new QPushButton(QStringLiteral("Clear alerts"), alert);
        SettingsStyle::themedButton(clear);
        clear->setObjectName(QStringLiteral("clearAlerts"));
        connect(clear, &QPushButton::clicked, this, [this, &shield] {
            shield.clearBoundaryAlerts();
            refresh();
        });
        alertColumn->addWidget(clear, 0, Qt::AlignLeft);
        visibleWhen(alert, [&shield] { return shield.lastBoundaryAlert().has_value(); });
        live->content()->addWidget(alert);
        rows()->addWidget(live);
    }

private:
    QWidget* hourColumn(const QString& title, const QString& key, std::function<qint64()> get,
                        std::function<void(qint64)> set)
    {
        auto* box = new QWidget;
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(6);
        column->addWidget(makeText(title, sysFont(11), gray, false, box));
        Stepper* hour = stepper(
            key, 0, 23, 1, [get] { return QuietHours::hourOf(get()); },
            // The minutes are read again at the moment of setting, and kept.
            [get, set](qint64 h) { set(QuietHours::withHour(get(), h)); },
            [get](qint64) { return QuietHours::clockText(get()); });
        hour->label()->setMinimumWidth(56);
        hour->label()->setFont(mono(13, QFont::Bold));
        column->addWidget(hour);
        return box;
    }
};

}  // namespace

SettingsPage* makeAIShieldPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new AIShieldPage(env, state);
}
