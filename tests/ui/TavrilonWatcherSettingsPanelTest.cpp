#include "DashboardRig.h"
#include "HostileName.h"

#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "guards/TavrilonWatcher.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "support/StallWatch.h"
#include "ui/settings/TavrilonWatcherSettingsPanel.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

struct PanelRig {
    QTemporaryDir dir;
    ManualClock clock{QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), QTimeZone::utc())};
    ManualScheduler scheduler{clock};
    UserDefaults defaults{dir.path() + QStringLiteral("/settings.json")};
    AppSettings settings{defaults, clock};
    TavrilonWatcher watcher{{.settings = settings,
                             .scheduler = scheduler,
                             .clock = clock,
                             .askModel = [](const QString&, std::function<void(std::optional<QString>)> done) {
                                 done(std::nullopt);
                             }}};
    QList<std::optional<QUrl>> answers;  // what the folder chooser returns, in turn
    TavrilonWatcherSettingsPanel panel{settings, watcher, [this](QWidget*) {
                                           return answers.isEmpty() ? std::nullopt : answers.takeFirst();
                                       }};

    PanelRig()
    {
        panel.resize(620, 560);
        panel.show();
    }
    QString folder(const QString& name, bool withOldFile)
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QDir().mkpath(path);
        if (withOldFile) {
            QFile f(path + QStringLiteral("/notes.txt"));
            f.open(QIODevice::WriteOnly);
            f.write("notes");
            f.close();
            const timespec t{time_t(clock.now().toSecsSinceEpoch() - 3600), 0};
            const timespec times[2] = {t, t};
            ::utimensat(AT_FDCWD, QFile::encodeName(f.fileName()).constData(), times, 0);
        }
        return path;
    }
    QList<QWidget*> cards() const
    {
        QList<QWidget*> out;
        for (QWidget* w : panel.findChildren<QWidget*>()) {
            if (w->objectName().startsWith(QStringLiteral("watchCard:")) && w->isVisible()) out.append(w);
        }
        return out;
    }
    QWidget* card(const QString& folderName) const
    {
        for (QWidget* c : cards()) {
            if (c->findChild<QLabel*>(QStringLiteral("folderName"))->text() == folderName) return c;
        }
        return nullptr;
    }
    static QString status(QWidget* card) { return card->findChild<QLabel*>(QStringLiteral("statusLine"))->text(); }
    void assign(const QString& path)
    {
        answers.append(QUrl::fromLocalFile(path));
        panel.findChild<QPushButton*>(QStringLiteral("assignButton"))->click();
        dashboard_rig::settle();
    }
};

}  // namespace

TEST(TavrilonWatcherSettingsPanel, AssignsSweepsRetimesAndUnassignsFolders)
{
    PanelRig r;
    EXPECT_TRUE(r.panel.findChild<QLabel*>(QStringLiteral("emptyHint"))->isVisible());
    EXPECT_TRUE(r.cards().isEmpty());

    // A cancelled chooser changes nothing.
    r.answers.append(std::nullopt);
    r.panel.findChild<QPushButton*>(QStringLiteral("assignButton"))->click();
    EXPECT_TRUE(r.settings.tavrilonWatchedFolders().isEmpty());

    // Assigned with the switch on: swept at once, the outcome appears on the card.
    QSignalSpy finished(&r.watcher, &TavrilonWatcher::sweepFinished);
    const QString downloads = r.folder(QStringLiteral("Downloads"), true);
    r.assign(downloads);
    ASSERT_EQ(r.cards().size(), 1);
    EXPECT_FALSE(r.panel.findChild<QLabel*>(QStringLiteral("emptyHint"))->isVisible());
    if (finished.isEmpty()) {
        ASSERT_TRUE(finished.wait(20000));
    }
    dashboard_rig::settle();
    EXPECT_TRUE(PanelRig::status(r.card(QStringLiteral("Downloads"))).startsWith(QStringLiteral("Last: Sorted 1 file(s) \u00B7 ")))
        << PanelRig::status(r.card(QStringLiteral("Downloads"))).toStdString();
    EXPECT_TRUE(QFile::exists(downloads + QStringLiteral("/Documents/notes.txt")));

    // The same folder again: still one card.
    r.assign(downloads);
    EXPECT_EQ(r.cards().size(), 1);

    // Switched off: a new folder waits.
    r.panel.findChild<QCheckBox*>()->click();
    EXPECT_FALSE(r.settings.tavrilonWatcherEnabled());
    const QString desktop = r.folder(QStringLiteral("Desktop"), true);
    r.assign(desktop);
    ASSERT_EQ(r.cards().size(), 2);
    EXPECT_FALSE(r.watcher.isSweeping());
    EXPECT_EQ(PanelRig::status(r.card(QStringLiteral("Desktop"))), QStringLiteral("Waiting for first sweep\u2026"));

    // "week" on one card changes that target alone.
    auto* picker = r.card(QStringLiteral("Desktop"))->findChild<QComboBox*>(QStringLiteral("intervalPicker"));
    EXPECT_EQ(picker->currentText(), QStringLiteral("day"));
    picker->setCurrentIndex(3);
    Q_EMIT picker->activated(3);
    dashboard_rig::settle();
    const QList<TavrilonWatchTarget> targets = r.settings.tavrilonWatchedFolders();
    EXPECT_EQ(targets[0].intervalHours, 24);
    EXPECT_EQ(targets[0].lastOutcome, QStringLiteral("Sorted 1 file(s)"));
    EXPECT_EQ(targets[1].intervalHours, 168);
    EXPECT_EQ(r.card(QStringLiteral("Desktop"))->findChild<QComboBox*>()->currentText(), QStringLiteral("week"));

    // The switch follows the store; the screenshot shows both cards.
    r.settings.setTavrilonWatcherEnabled(true);
    EXPECT_TRUE(r.panel.findChild<QCheckBox*>()->isChecked());
    // As a dark host shows it.
    QPalette dark = r.panel.palette();
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x2a, 0x22, 0x20));
    dark.setColor(QPalette::Base, QColor(0x2a, 0x22, 0x20));
    dark.setColor(QPalette::Highlight, QColor(0xff, 0x8a, 0x3d));
    r.panel.setPalette(dark);
    const QColor secondary = r.panel.findChild<QLabel*>(QStringLiteral("emptyHint"))->palette().color(QPalette::WindowText);
    EXPECT_GT(secondary.lightness(), 150) << "secondary texts follow the host's palette";
    EXPECT_TRUE(dashboard_rig::saveTabShot(r.panel, QStringLiteral("tavrilon-watcher-settings")));

    // Unassigning removes the card at once; what was moved stays.
    r.card(QStringLiteral("Downloads"))->findChild<QToolButton*>(QStringLiteral("unassignButton"))->click();
    dashboard_rig::settle();
    EXPECT_EQ(r.cards().size(), 1);
    EXPECT_EQ(r.settings.tavrilonWatchedFolders().size(), 1);
    EXPECT_TRUE(QFile::exists(downloads + QStringLiteral("/Documents/notes.txt")));
    stall_watch::expectNoStall("watcher panel");
}

TEST(TavrilonWatcherSettingsPanel, TellsTimesInWords)
{
    const QDateTime now(QDate(2026, 3, 10), QTime(12, 0), QTimeZone::utc());
    struct Case {
        qint64 secondsAgo;
        QString text;
    } cases[] = {
        {0, "now"},           {1, "1 second ago"},        {59, "59 seconds ago"}, {60, "1 minute ago"},
        {3599, "59 minutes ago"}, {3600, "1 hour ago"},   {86399, "23 hours ago"}, {86400, "yesterday"},
        {2 * 86400, "2 days ago"}, {7 * 86400, "last week"}, {20 * 86400, "2 weeks ago"}, {40 * 86400, "last month"},
        {400 * 86400, "last year"}, {-7200, "in 2 hours"},  {-86400, "tomorrow"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TavrilonWatcherSettingsPanel::relativeText(now.addSecs(-c.secondsAgo), now), c.text) << c.secondsAgo;
    }
    EXPECT_EQ(TavrilonWatcherSettingsPanel::statusText(QStringLiteral("Already tidy"), now.addSecs(-120), now),
              QStringLiteral("Last: Already tidy \u00B7 2 minutes ago"));
    EXPECT_EQ(TavrilonWatcherSettingsPanel::statusText(QStringLiteral("Already tidy"), std::nullopt, now),
              QStringLiteral("Waiting for first sweep\u2026"));
}

// A folder whose name is markup shows as it is written, its tool tip too.
TEST(TavrilonWatcherSettingsPanel, FolderNamesShowAsWritten)
{
    ASSERT_GT(hostile_name::pureRedPixelsOfRichText(), 50);
    PanelRig r;
    const QString folder = r.folder(hostile_name::name, false);
    r.assign(folder);
    QWidget* card = r.card(hostile_name::name);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->findChild<QLabel*>(QStringLiteral("folderName"))->textFormat(), Qt::PlainText);
    EXPECT_EQ(hostile_name::toolTipShows(card->findChild<QWidget*>(QStringLiteral("folderPath"))->toolTip()), folder);
    EXPECT_EQ(hostile_name::pureRedPixels(&r.panel), 0);
}
