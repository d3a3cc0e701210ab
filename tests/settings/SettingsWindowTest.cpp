// The settings window as a whole: its sidebar and router, the pages that act on managers, the
// confirmations, the API key, a screenshot per page, and the model path end to end.
#include "SettingsRig.h"

#include "ui/HostileName.h"

#include "assistant/ScriptedServer.h"
#include "core/UserDefaults.h"
#include "support/StallWatch.h"
#include "ui/chat/MessageRow.h"
#include "ui/chat/TavrilonChatView.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/Sidebar.h"
#include "ui/dashboard/VRAXConnectedBadge.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPages.h"
#include "ui/dashboard/SidebarButton.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/theme/TavrilonToggle.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include <sys/stat.h>

using namespace settings_rig;

namespace {

QStringList sectionTitles()
{
    QStringList titles;
    for (SettingsSection s : SettingsSections::all) titles << SettingsSections::rawValue(s);
    return titles;
}

QStringList texts(QWidget* page, const QString& name)
{
    QStringList out;
    for (auto* label : page->findChildren<QLabel*>(name))
        if (label->isVisibleTo(page)) out << label->text();
    return out;
}

qsizetype visibleNamed(QWidget* page, const QString& name)
{
    qsizetype n = 0;
    for (QWidget* w : page->findChildren<QWidget*>(name)) n += w->isVisibleTo(page) ? 1 : 0;
    return n;
}

QMessageBox* confirmation(QWidget* page) { return page->findChild<QMessageBox*>(QStringLiteral("confirmation")); }

}  // namespace

TEST(SettingsWindow, SidebarListsEveryPageAndRoutesToIt)
{
    Rig rig;
    Window w(rig);
    EXPECT_EQ(sectionTitles(),
              (QStringList{"Profiles", "General", "Permissions", "Appearance", "AutoPilot", "Automation & Guards",
                           "AI Assistant", "My Data", "Thresholds", "Protected Processes", "Tavrilon Watcher",
                           "AI Shield", "VRAX Integration", "About"}));
    EXPECT_EQ(SettingsSections::fromRaw(QStringLiteral("AI Shield")), SettingsSection::aiShield);
    EXPECT_FALSE(SettingsSections::fromRaw(QStringLiteral("ai shield")));
    // As wide as its longest title: every row shows its whole title.
    EXPECT_GE(w.view->sidebar()->width(), SettingsView::sidebarWidth);
    for (SettingsSection section : SettingsSections::all) {
        const SettingsSidebarRow* row = w.view->sidebarRow(section);
        EXPECT_GE(row->width(), row->sizeHint().width()) << row->text().toStdString();
    }
    EXPECT_EQ(w.view->minimumSize(), SettingsView::minimumWindowSize);
    EXPECT_EQ(w.view->versionLine()->text(), QStringLiteral("v4.2.1"));

    // A new window opens on Profiles; a row shows its page and is the only one highlighted.
    EXPECT_EQ(w.view->selectedSection(), SettingsSection::profiles);
    for (SettingsSection section : SettingsSections::all) {
        w.open(section);
        EXPECT_EQ(w.view->page()->property("settingsSection").toString(), SettingsSections::rawValue(section));
        for (SettingsSection other : SettingsSections::all)
            EXPECT_EQ(w.view->sidebarRow(other)->isSelected(), other == section);
        if (section != SettingsSection::permissions) {
            EXPECT_NE(w.view->page()->findChild<SectionHeader*>(), nullptr) << SettingsSections::rawValue(section).toStdString();
        }
    }

    // Permissions are probed again each time their page is shown.
    rig.base.clock.advance(std::chrono::seconds(5));
    w.open(SettingsSection::permissions);
    const auto first = rig.permissions.lastChecked();
    w.open(SettingsSection::about);
    rig.base.clock.advance(std::chrono::seconds(5));
    w.open(SettingsSection::permissions);
    EXPECT_NE(rig.permissions.lastChecked(), first);

    // The VRAX badge follows the switch, not the connection.
    EXPECT_FALSE(w.view->vraxBadge()->isVisibleTo(w.view.get()));
    w.open(SettingsSection::integration);
    QTest::mouseClick(w.find(QStringLiteral("vraxIntegrationEnabled")), Qt::LeftButton);
    EXPECT_TRUE(w.view->vraxBadge()->isVisibleTo(w.view.get()));
    const QList<std::pair<VRAXStatusView, QString>> statuses{
        {{VRAXStatusView::Kind::connecting, {}, {}}, QStringLiteral("Connecting to VRAX\u2026")},
        {{VRAXStatusView::Kind::connected, QDateTime(QDate(2026, 12, 10), QTime(21, 4, 5)), {}},
         QStringLiteral("Connected \u00B7 last beat 21:04:05")},
        {{VRAXStatusView::Kind::error, {}, QStringLiteral("HTTP 503")}, QStringLiteral("Error: HTTP 503")},
        {{VRAXStatusView::Kind::disabled, {}, {}}, QStringLiteral("Disabled")},
    };
    for (const auto& [status, text] : statuses) {
        rig.vrax.publish(status);
        EXPECT_EQ(w.find<QLabel>(QStringLiteral("vraxStatus"))->text(), text);
    }

    // Page state lives as long as the view: a half-typed name survives a visit elsewhere.
    w.open(SettingsSection::processes);
    QTest::keyClicks(w.find<QLineEdit>(QStringLiteral("newProtectedProcess")), QStringLiteral("blen"));
    w.open(SettingsSection::general);
    w.open(SettingsSection::processes);
    EXPECT_EQ(w.find<QLineEdit>(QStringLiteral("newProtectedProcess"))->text(), QStringLiteral("blen"));
    stall_watch::expectNoStall("routing");
}

TEST(SettingsWindow, OneWindowBroughtForwardWhenOpenedAgain)
{
    Rig rig;
    SettingsEnvironment env = rig.env();
    SettingsWindowController controller(env);
    controller.open();
    SettingsView* first = controller.window();
    ASSERT_NE(first, nullptr);
    first->selectSection(SettingsSection::about);
    controller.open();
    EXPECT_EQ(controller.window(), first);
    EXPECT_EQ(first->selectedSection(), SettingsSection::about);
    EXPECT_EQ(first->windowTitle(), SettingsWindowController::windowTitle);
    first->close();
    dashboard_rig::settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(controller.window(), nullptr);
    controller.open();
    ASSERT_NE(controller.window(), nullptr);
    EXPECT_EQ(controller.window()->selectedSection(), SettingsSection::profiles);
}

TEST(SettingsPages, ProfilesProtectedProcessesAndThemesActOnTheirStores)
{
    Rig rig;
    AppSettings& s = rig.base.settings;
    Window w(rig);

    // A card tap switches through the manager, also for the active one.
    const auto cards = w.view->page()->findChildren<QAbstractButton*>(QStringLiteral("profileCard"));
    ASSERT_EQ(cards.size(), 6);
    EXPECT_EQ(cards[5]->text(), QStringLiteral("Gaming"));
    const qsizetype before = rig.base.profiles.profileHistory().size();
    for (QAbstractButton* card : cards) QTest::mouseClick(card, Qt::LeftButton);
    QTest::mouseClick(cards[5], Qt::LeftButton);
    EXPECT_EQ(rig.base.profiles.activeProfile(), PerformanceMode::gaming);
    EXPECT_EQ(rig.base.profiles.profileHistory().size(), before + 7);
    EXPECT_EQ(s.sustainedTimeBeforeAction(), 8.0);
    dashboard_rig::settle();
    EXPECT_EQ(visibleNamed(w.view->page(), QStringLiteral("historyRow")), 5);
    // A profile applied without a switch from another reads as itself, not "initial → ...".
    EXPECT_EQ(profileHistoryLine(ProfileSwitchEvent{.from = QStringLiteral("initial"), .to = QStringLiteral("Balanced")}),
              QStringLiteral("Balanced"));
    EXPECT_EQ(profileHistoryLine(ProfileSwitchEvent{.from = QStringLiteral("Balanced"), .to = QStringLiteral("Gaming")}),
              QStringLiteral("Balanced \u2192 Gaming"));
    EXPECT_FALSE(w.find(QStringLiteral("lastSwitchReason"))->isVisibleTo(w.view.get()));
    rig.base.profiles.setLastAutoSwitchReason(QStringLiteral("Xcode running"));
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("lastSwitchReason"))->text(), QStringLiteral("Last switch: Xcode running"));

    // Protected processes: trimmed, once, case-sensitive; blanks only change nothing.
    s.setProtectedProcessesData("not json");
    w.open(SettingsSection::processes);
    auto* name = w.find<QLineEdit>(QStringLiteral("newProtectedProcess"));
    auto* add = w.find<QToolButton>(QStringLiteral("addProtectedProcess"));
    EXPECT_TRUE(w.view->page()->findChildren<QWidget*>(QStringLiteral("protectedRow")).isEmpty());
    QTest::keyClicks(name, QStringLiteral("  "));
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(name->text(), QStringLiteral("  "));
    EXPECT_EQ(s.protectedProcessesData(), QByteArray("not json"));
    name->clear();
    for (const char* typed : {"  Safari\t", "Safari", "safari"}) {
        QTest::keyClicks(name, QString::fromLatin1(typed));
        QTest::mouseClick(add, Qt::LeftButton);
        EXPECT_TRUE(name->text().isEmpty());
    }
    EXPECT_EQ(s.protectedProcesses(), (QStringList{"Safari", "safari"}));
    dashboard_rig::settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto removeButtons = w.view->page()->findChildren<QToolButton*>(QStringLiteral("removeProtectedProcess"));
    ASSERT_EQ(removeButtons.size(), 2);
    QTest::mouseClick(removeButtons[0], Qt::LeftButton);
    EXPECT_EQ(s.protectedProcesses(), QStringList{"safari"});

    // Offenders: the ten most frequent, only when there are any.
    EXPECT_FALSE(w.find(QStringLiteral("offenders"))->isVisibleTo(w.view.get()));
    for (int i = 0; i < 12; ++i)
        for (int k = 0; k <= i; ++k) rig.base.processManager.recordIncident(QStringLiteral("proc%1").arg(i));
    w.open(SettingsSection::general);
    w.open(SettingsSection::processes);
    const auto offenders = texts(w.view->page(), QString());
    EXPECT_TRUE(w.find(QStringLiteral("offenders"))->isVisibleTo(w.view.get()));
    EXPECT_EQ(visibleNamed(w.view->page(), QStringLiteral("offenderRow")), 10);
    EXPECT_TRUE(offenders.contains(QStringLiteral("12 incidents")));
    EXPECT_FALSE(offenders.contains(QStringLiteral("proc0")));

    // Themes: one card marked, the choice stored and applied at once.
    w.open(SettingsSection::appearance);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("themeCountCaption"))->text(),
              QString::number(PaletteTheme::all().size()) + QStringLiteral(" themes. Switches without restart."));
    const auto themeCards = w.view->page()->findChildren<QAbstractButton*>(QStringLiteral("themeCard"));
    ASSERT_EQ(themeCards.size(), PaletteTheme::all().size());
    QAbstractButton* target = themeCards.last();
    QTest::mouseClick(target, Qt::LeftButton);
    EXPECT_EQ(rig.base.themes.current().id, PaletteTheme::all().last().id);
    EXPECT_EQ(rig.stored().value(QStringLiteral("theme")).toString(), PaletteTheme::all().last().id);
    EXPECT_EQ(target->toolTip(), PaletteTheme::all().last().tagline);
}

TEST(SettingsPages, PermissionsShowWhatIsMissingAndTheButtonThatHelps)
{
    Rig rig;
    Window w(rig);
    w.open(SettingsSection::permissions);
    const int missing = rig.permissions.missing();
    ASSERT_GT(missing, 1);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("permissionsSummary"))->text(),
              QString::number(missing) + QStringLiteral(" permissions are missing. Each one below says exactly what it costs you."));
    const auto cards = w.view->page()->findChildren<QWidget*>(QStringLiteral("permissionCard"));
    ASSERT_EQ(cards.size(), rig.permissions.items().size());
    for (QWidget* card : cards) {
        const QString id = card->property("permissionID").toString();
        const auto it = std::find_if(rig.permissions.items().begin(), rig.permissions.items().end(),
                                     [&](const PermissionItem& i) { return i.id == id; });
        ASSERT_NE(it, rig.permissions.items().end());
        auto* primary = card->findChild<QPushButton*>(QStringLiteral("primaryButton"));
        auto* fix = card->findChild<QLabel*>(QStringLiteral("howToFix"));
        SCOPED_TRACE(id.toStdString());
        if (it->state == PermissionState::granted) {
            EXPECT_EQ(primary, nullptr);
            continue;
        }
        // A button only where it does something; otherwise a line says what to change.
        if (it->remedy == PermissionRemedy::none) {
            EXPECT_EQ(primary, nullptr);
            ASSERT_NE(fix, nullptr);
            EXPECT_EQ(fix->text(), it->howToFix);
        } else {
            ASSERT_NE(primary, nullptr);
            EXPECT_EQ(primary->text(), remedyButtonText(it->remedy));
        }
        EXPECT_FALSE(primary && primary->text().startsWith(QStringLiteral("Grant")));
    }
    EXPECT_EQ(permissionsSummary(0), QStringLiteral("Everything Veltranmoor needs is granted."));
    EXPECT_EQ(permissionsSummary(1),
              QStringLiteral("1 permission is missing. Each one below says exactly what it costs you."));

    // The journal row is named for what it is and has nothing to press; the missing
    // notification server is named with its fix.
    QWidget* journal = cards.first();
    ASSERT_EQ(journal->property("permissionID").toString(), QStringLiteral("fda"));
    EXPECT_EQ(rig.permissions.items().first().name, PermissionsCenter::journalName);
    EXPECT_EQ(journal->findChild<QLabel*>(QStringLiteral("howToFix"))->text(), PermissionsCenter::journalFix);

    // A missing Downloads folder: "Create Folder" makes it, and the card turns granted.
    const QString downloads = rig.probes.folderPath(PermissionProbes::Folder::downloads);
    ASSERT_FALSE(QFileInfo::exists(downloads));
    auto cardOf = [&](const QString& id) -> QWidget* {
        for (QWidget* c : w.view->page()->findChildren<QWidget*>(QStringLiteral("permissionCard")))
            if (c->property("permissionID").toString() == id) return c;
        return nullptr;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return cardOf(QStringLiteral("notifications")) && cardOf(QStringLiteral("notifications"))->findChild<QLabel*>(QStringLiteral("howToFix")); }, 10000));
    EXPECT_EQ(cardOf(QStringLiteral("notifications"))->findChild<QLabel*>(QStringLiteral("howToFix"))->text(),
              PermissionsCenter::notificationServerFix);
    EXPECT_EQ(cardOf(QStringLiteral("notifications"))->findChild<QPushButton*>(QStringLiteral("primaryButton")), nullptr);
    w.view->resize(900, 1300);  // every card in the picture
    ASSERT_TRUE(dashboard_rig::saveTabShot(*w.view, QStringLiteral("settings-permissions-missing")));
    QPushButton* create = cardOf(QStringLiteral("downloads"))->findChild<QPushButton*>(QStringLiteral("primaryButton"));
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->text(), QStringLiteral("Create Folder"));
    QTest::mouseClick(create, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(downloads).isDir(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QWidget* c = cardOf(QStringLiteral("downloads"));
            return c && !c->findChild<QPushButton*>(QStringLiteral("primaryButton"));
        },
        10000));
    EXPECT_EQ(rig.permissions.items()[4].state, PermissionState::granted);
}

TEST(SettingsPages, DestructiveDataActionsRunOnlyAfterConfirmation)
{
    Rig rig;
    rig.userData.size = 2'400'000;
    rig.userData.items = {QDir::homePath() + QStringLiteral("/.local/share/Veltranmoor"), QStringLiteral("/opt/veltranmoor")};
    Window w(rig);
    w.open(SettingsSection::myData);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("storedBytes"))->text(), QStringLiteral("2.4 MB"));
    EXPECT_EQ(texts(w.view->page(), QStringLiteral("storedItem")),
              (QStringList{QStringLiteral("\u00B7 ~/.local/share/Veltranmoor"), QStringLiteral("\u00B7 /opt/veltranmoor")}));
    EXPECT_FALSE(w.find(QStringLiteral("lastAction"))->isVisibleTo(w.view.get()));

    struct Case {
        const char* button;
        const char* title;
        const char* action;
        const char* call;
    };
    for (const Case& c : {Case{"restoreButton", "Restore default settings?", "Restore", "reset"},
                          Case{"clearButton", "Clear collected data?", "Move to Trash", "clear"},
                          Case{"uninstallButton", "Uninstall Veltranmoor?", "Uninstall & Quit", "uninstall"}}) {
        SCOPED_TRACE(c.button);
        rig.userData.calls.clear();
        auto* button = w.find<QPushButton>(QString::fromLatin1(c.button));
        QTest::mouseClick(button, Qt::LeftButton);
        QMessageBox* box = confirmation(w.view->page());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QString::fromUtf8(c.title));
        const auto buttons = box->buttons();
        ASSERT_EQ(buttons.size(), 2);
        EXPECT_EQ(box->buttonRole(box->findChild<QPushButton*>(QStringLiteral("cancelButton"))), QMessageBox::RejectRole);
        auto* go = box->findChild<QPushButton*>(QStringLiteral("destructiveButton"));
        EXPECT_EQ(go->text(), QString::fromUtf8(c.action));
        EXPECT_EQ(box->buttonRole(go), QMessageBox::DestructiveRole);
        EXPECT_TRUE(rig.userData.calls.isEmpty());
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(rig.userData.calls.isEmpty());
        EXPECT_EQ(confirmation(w.view->page()), nullptr);

        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(confirmation(w.view->page())->findChild<QPushButton*>(QStringLiteral("destructiveButton")),
                          Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(rig.userData.calls, QStringList{QString::fromLatin1(c.call)});
    }
    // Clearing counts the store again and shows the result line.
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("storedBytes"))->text(), QStringLiteral("Zero KB"));
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("lastAction"))->text(), QStringLiteral("Moved 2 stored items to the Trash."));
    EXPECT_FALSE(w.view->pageState().confirmClear);

    // The update check runs only on the button, which waits while a check runs.
    EXPECT_EQ(rig.updates.fetches, 0);
    auto* check = w.find<QPushButton>(QStringLiteral("checkForUpdates"));
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_EQ(check->text(), QStringLiteral("Checking\u2026"));
    EXPECT_FALSE(check->isEnabled());
    EXPECT_EQ(texts(w.view->page(), QStringLiteral("updateStatusText")), QStringList{"Asking the release feed\u2026"});
    rig.updates.now = UpdateStateView{UpdateStateView::Kind::updateAvailable, "4.2.1", "4.3.0", "https://x", {}};
    Q_EMIT rig.updates.changed();
    EXPECT_EQ(texts(w.view->page(), QStringLiteral("updateStatusText")), QStringList{"Version 4.3.0 is out. You have 4.2.1."});
    QTest::mouseClick(w.find<QPushButton>(QStringLiteral("openDownloadPage")), Qt::LeftButton);
    EXPECT_EQ(rig.updates.opens, 1);
    rig.updates.now = UpdateStateView{UpdateStateView::Kind::failed, {}, {}, {}, "Could not read the release feed"};
    Q_EMIT rig.updates.changed();
    EXPECT_EQ(texts(w.view->page(), QStringLiteral("updateStatusText")),
              QStringList{"Couldn't check: Could not read the release feed"});
}

TEST(SettingsPages, ApiKeyIsMaskedStoredPrivatelyAndRefusedWithControlCharacters)
{
    Rig rig;
    AppSettings& s = rig.base.settings;
    s.setByoKeyEnabled(true);
    Window w(rig);
    w.open(SettingsSection::assistant);
    auto* key = w.find<QLineEdit>(QStringLiteral("byoKeyValue"));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->echoMode(), QLineEdit::Password);
    QTest::keyClicks(key, QStringLiteral("sk-good"));
    EXPECT_EQ(s.byoKeyValue(), QStringLiteral("sk-good"));
    rig.base.defaults.flush();
    struct stat info {};
    ASSERT_EQ(::stat(rig.base.defaults.filePath().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(key->displayText().contains(QStringLiteral("sk-good")));
    EXPECT_FALSE(w.find(QStringLiteral("apiKeyError"))->isVisibleTo(w.view.get()));

    for (const QString& bad : {QStringLiteral("sk-\nbad"), QStringLiteral("sk-\tbad"), QStringLiteral("sk-\u2028bad"),
                               QStringLiteral("sk-\x7f" "bad")}) {
        // What a paste hands the field, as an edit.
        key->setText(bad);
        Q_EMIT key->textEdited(bad);
        EXPECT_EQ(s.byoKeyValue(), QStringLiteral("sk-good"));
        EXPECT_EQ(key->text(), QStringLiteral("sk-good"));
        EXPECT_TRUE(w.find(QStringLiteral("apiKeyError"))->isVisibleTo(w.view.get()));
    }
    EXPECT_FALSE(apiKeyProblem(QStringLiteral(" sk-with blanks ")));
    QTest::keyClick(key, Qt::Key_Backspace);
    EXPECT_EQ(s.byoKeyValue(), QStringLiteral("sk-goo"));
    EXPECT_FALSE(w.find(QStringLiteral("apiKeyError"))->isVisibleTo(w.view.get()));
}

TEST(SettingsPages, PushButtonsAreDrawnInThePaletteNotThePlatformBevel)
{
    Rig rig;
    Window w(rig);
    const auto near = [](QRgb a, const QColor& b) {
        return std::abs(qRed(a) - b.red()) <= 8 && std::abs(qGreen(a) - b.green()) <= 8 &&
               std::abs(qBlue(a) - b.blue()) <= 8;
    };
    for (const PaletteTheme* palette : {&PaletteTheme::ember(), &PaletteTheme::daylight()}) {
        rig.base.themes.setCurrent(*palette);
        int checked = 0;
        for (SettingsSection section : {SettingsSection::permissions, SettingsSection::myData, SettingsSection::aiShield,
                                        SettingsSection::autopilot}) {
            w.open(section);
            QCoreApplication::processEvents();
            for (QPushButton* b : w.view->page()->findChildren<QPushButton*>()) {
                if (!b->isVisibleTo(w.view->page()) || b->isCheckable()) continue;  // segments have their own look
                const QImage img = b->grab().toImage();
                // A flat fill in the palette's raised surface, top to bottom: a bevel is a gradient.
                const QRgb top = img.pixel(img.width() / 2, 2), bottom = img.pixel(img.width() / 2, img.height() - 3);
                EXPECT_TRUE(near(top, palette->surfaceElevated) && near(bottom, palette->surfaceElevated))
                    << SettingsSections::rawValue(section).toStdString() << " " << b->text().toStdString() << " in "
                    << palette->id.toStdString() << ": " << QColor(top).name().toStdString() << " "
                    << QColor(bottom).name().toStdString();
                ++checked;
            }
        }
        EXPECT_GE(checked, 6) << palette->id.toStdString();
    }
}

TEST(SettingsPages, AIShieldPathsAndAlerts)
{
    Rig rig;
    AppSettings& s = rig.base.settings;
    const QString home = rig.base.dir.filePath(QStringLiteral("home"));
    Window w(rig);
    w.open(SettingsSection::aiShield);
    auto paths = [&] {
        QStringList out;
        for (QWidget* row : w.view->page()->findChildren<QWidget*>(QStringLiteral("boundaryRow")))
            if (!row->isHidden()) out << row->property("path").toString();
        return out;
    };
    EXPECT_EQ(paths(), (QStringList{home + "/.ssh", home + "/.aws", home + "/Documents/Claude_Memory/Private"}));
    auto* field = w.find<QLineEdit>(QStringLiteral("newBoundaryPath"));
    auto* add = w.find<QPushButton>(QStringLiteral("addBoundaryPath"));
    EXPECT_FALSE(add->isEnabled());
    QTest::keyClicks(field, QStringLiteral("  ~/.config/anthropic// "));
    EXPECT_TRUE(add->isEnabled());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(paths().size(), 3);
    QTest::mouseClick(add, Qt::LeftButton);
    dashboard_rig::settle();
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(paths(), (QStringList{home + "/.aws", home + "/.config/anthropic", home + "/.ssh",
                                    home + "/Documents/Claude_Memory/Private"}));
    EXPECT_EQ(w.view->pageState().boundaryPathsRefreshTick, 1);
    // Removing every path reads back as the defaults.
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::mouseClick(w.view->page()->findChildren<QToolButton*>(QStringLiteral("removeBoundaryPath")).last(),
                          Qt::LeftButton);
        dashboard_rig::settle();
    }
    EXPECT_EQ(paths(), (QStringList{home + "/.ssh", home + "/.aws", home + "/Documents/Claude_Memory/Private"}));
    QTest::mouseClick(w.find<QPushButton>(QStringLiteral("resetBoundaryPaths")), Qt::LeftButton);
    dashboard_rig::settle();
    EXPECT_EQ(paths(), (QStringList{home + "/.aws", home + "/.ssh", home + "/Documents/Claude_Memory/Private"}));
    EXPECT_FALSE(s.aiShieldBoundaryPathsData().isEmpty());

    // A path that is also markup shows as it is written, its tool tip too.
    field->setText(QStringLiteral("~/") + hostile_name::name);
    QTest::mouseClick(add, Qt::LeftButton);
    dashboard_rig::settle();
    const QString hostile = home + QLatin1Char('/') + hostile_name::name;
    ASSERT_TRUE(paths().contains(hostile));
    for (QWidget* row : w.view->page()->findChildren<QWidget*>(QStringLiteral("boundaryRow"))) {
        if (row->property("path").toString() != hostile) continue;
        auto* shown = row->findChild<QLabel*>();
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->textFormat(), Qt::PlainText);
        EXPECT_EQ(hostile_name::toolTipShows(shown->toolTip()), hostile);
    }
    EXPECT_EQ(hostile_name::pureRedPixels(w.view->page()), 0);
    EXPECT_GT(hostile_name::pureRedPixelsOfRichText(), 50);
    QTest::mouseClick(w.find<QPushButton>(QStringLiteral("resetBoundaryPaths")), Qt::LeftButton);
    dashboard_rig::settle();

    // The banner follows the guard; resume clears both pauses.
    EXPECT_FALSE(w.find(QStringLiteral("quietBanner"))->isVisibleTo(w.view.get()));
    rig.shield.setQuietHoursActive(true);
    rig.shield.setSnoozePauseActive(true);
    EXPECT_TRUE(w.find(QStringLiteral("quietBanner"))->isVisibleTo(w.view.get()));
    QTest::mouseClick(w.find<QPushButton>(QStringLiteral("resumeButton")), Qt::LeftButton);
    EXPECT_FALSE(w.find(QStringLiteral("quietBanner"))->isVisibleTo(w.view.get()));
    EXPECT_FALSE(rig.shield.snoozePauseActive());
    EXPECT_FALSE(w.find(QStringLiteral("lastAlert"))->isVisibleTo(w.view.get()));
    rig.shieldStatus.running = {{101, QStringLiteral("ollama")}, {102, QStringLiteral("claude")}};
    s.setAiShieldQuietHoursEnabled(true);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("aiProcessCount"))->text(), QStringLiteral("2"));
}

TEST(SettingsEndToEnd, OllamaChosenInTheSettingsTabAnswersTheChat)
{
    Rig rig;
    SettingsEnvironment env = rig.env();
    DashboardEnvironment dashboard = rig.base.env();
    dashboard.settingsView = &env;
    ScriptedServer ollama;
    ollama.script({ScriptedServer::Reply{200, R"({"message":{"content":"Fog over the hills."}})"}});

    auto window = std::make_unique<DetailedView>(dashboard);
    window->resize(DetailedView::defaultWindowSize);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
    QTest::mouseClick(window->sidebar()->button(DashboardTab::settings), Qt::LeftButton);
    dashboard_rig::settle();
    auto* settings = qobject_cast<SettingsView*>(window->tabView());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->selectedSection(), SettingsSection::profiles);
    // Inside the dashboard: no second sidebar, emblem or version line; a row of page titles,
    // each shown whole.
    EXPECT_EQ(settings->sidebar(), nullptr);
    EXPECT_EQ(settings->versionLine(), nullptr);
    EXPECT_EQ(settings->vraxBadge(), nullptr);
    ASSERT_NE(settings->sectionStrip(), nullptr);
    for (SettingsSection section : SettingsSections::all) {
        SettingsSidebarRow* row = settings->sidebarRow(section);
        EXPECT_TRUE(row->isVisible());
        EXPECT_GE(row->width(), row->sizeHint().width()) << row->text().toStdString();
        EXPECT_TRUE(settings->rect().contains(QRect(row->mapTo(settings, QPoint()), row->size())));
    }
    QTest::mouseClick(settings->sidebarRow(SettingsSection::assistant), Qt::LeftButton);
    QTest::mouseClick(settings->page()->findChild<QWidget*>(QStringLiteral("ollamaEnabled")), Qt::LeftButton);
    auto typeInto = [&](const char* name, const QString& text) {
        auto* field = settings->page()->findChild<QLineEdit*>(QString::fromLatin1(name));
        ASSERT_TRUE(field && field->isVisible());
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    };
    typeInto("ollamaEndpoint", ollama.base());
    typeInto("ollamaModel", QStringLiteral("tinyllama:1b"));

    QTest::mouseClick(window->sidebar()->button(DashboardTab::tavrilon), Qt::LeftButton);
    dashboard_rig::settle();
    auto* chat = window->tabView()->findChild<TavrilonChatView*>();
    if (!chat) chat = qobject_cast<TavrilonChatView*>(window->tabView());
    ASSERT_NE(chat, nullptr);
    QTest::keyClicks(chat->input(), QStringLiteral("write me a poem about fog"));
    QTest::keyClick(chat->input(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ollama.requests().empty(); }, 10000));
    const ReceivedRequest request = ollama.requests().front();
    EXPECT_EQ(request.path, "/api/chat");
    EXPECT_EQ(request.json().object().value(QStringLiteral("model")).toString(), QStringLiteral("tinyllama:1b"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QLabel* label = chat->rows().last()->backendLabel();
            return label && label->text() == QStringLiteral("Ollama (local)");
        },
        10000));
    stall_watch::expectNoStall("chat");
    window.reset();
}

// The user's own key, set up in the settings tab: the chat says the disclosure is missing
// until it is accepted there, and then the question reaches the provider's server.
TEST(SettingsEndToEnd, OwnKeyWorksOnceItsDisclosureIsAccepted)
{
    Rig rig;
    AppSettings& s = rig.base.settings;
    SettingsEnvironment env = rig.env();
    DashboardEnvironment dashboard = rig.base.env();
    dashboard.settingsView = &env;
    ScriptedServer anthropic;
    anthropic.answer(200, R"({"content":[{"type":"text","text":"Fog lifts by noon."}]})");
    s.setAnthropicBaseURL(anthropic.base());

    auto window = std::make_unique<DetailedView>(dashboard);
    window->resize(DetailedView::defaultWindowSize);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
    auto openSettings = [&]() -> SettingsView* {
        QTest::mouseClick(window->sidebar()->button(DashboardTab::settings), Qt::LeftButton);
        dashboard_rig::settle();
        auto* settings = qobject_cast<SettingsView*>(window->tabView());
        if (settings) QTest::mouseClick(settings->sidebarRow(SettingsSection::assistant), Qt::LeftButton);
        return settings;
    };
    auto ask = [&](const QString& question) -> TavrilonChatView* {
        QTest::mouseClick(window->sidebar()->button(DashboardTab::tavrilon), Qt::LeftButton);
        dashboard_rig::settle();
        auto* chat = window->tabView()->findChild<TavrilonChatView*>();
        if (!chat) chat = qobject_cast<TavrilonChatView*>(window->tabView());
        if (!chat) return nullptr;
        QTest::keyClicks(chat->input(), question);
        QTest::keyClick(chat->input(), Qt::Key_Return);
        return chat;
    };

    SettingsView* settings = openSettings();
    ASSERT_NE(settings, nullptr);
    QWidget* page = settings->page();
    EXPECT_FALSE(page->findChild<QWidget*>(QStringLiteral("ownKeyDisclosure"))->isVisibleTo(page));
    QTest::mouseClick(page->findChild<QWidget*>(QStringLiteral("byoKeyEnabled")), Qt::LeftButton);
    auto* key = page->findChild<QLineEdit*>(QStringLiteral("byoKeyValue"));
    ASSERT_TRUE(key && key->isVisible());
    QTest::keyClicks(key, QStringLiteral("sk-ant-own"));
    EXPECT_TRUE(page->findChild<QWidget*>(QStringLiteral("ownKeyDisclosure"))->isVisibleTo(page));

    // Asked before accepting: nothing is sent, and the chat says what to do.
    TavrilonChatView* chat = ask(QStringLiteral("write me a poem about fog"));
    ASSERT_NE(chat, nullptr);
    auto lastText = [&] {
        const auto labels = chat->rows().last()->findChildren<QLabel*>();
        QStringList texts;
        for (QLabel* label : labels) texts << label->text();
        return texts.join(QLatin1Char('\n'));
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return lastText().contains(QStringLiteral("accept its disclosure")); }, 10000))
        << lastText().toStdString();
    EXPECT_TRUE(lastText().contains(QStringLiteral("Settings \u2192 AI Assistant"))) << lastText().toStdString();
    EXPECT_TRUE(anthropic.requests().empty());

    settings = openSettings();
    ASSERT_NE(settings, nullptr);
    page = settings->page();
    auto* accept = page->findChild<QPushButton*>(QStringLiteral("acceptDisclosure"));
    ASSERT_TRUE(accept && accept->isVisible());
    QTest::mouseClick(accept, Qt::LeftButton);
    EXPECT_TRUE(s.aiChatDisclosureAccepted());
    EXPECT_TRUE(rig.stored().value(QStringLiteral("aiChatDisclosureAccepted")).toBool());
    EXPECT_FALSE(page->findChild<QWidget*>(QStringLiteral("ownKeyDisclosure"))->isVisibleTo(page));

    chat = ask(QStringLiteral("write me a poem about mist"));
    ASSERT_NE(chat, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !anthropic.requests().empty(); }, 10000));
    const ReceivedRequest request = anthropic.requests().front();
    EXPECT_EQ(request.path, "/v1/messages");
    EXPECT_EQ(request.header("x-api-key"), "sk-ant-own");
    EXPECT_EQ(request.json().object().value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("content")).toString(),
              QStringLiteral("write me a poem about mist"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QLabel* label = chat->rows().last()->backendLabel();
            return label && label->text() == QStringLiteral("anthropic (your key)");
        },
        10000));
    stall_watch::expectNoStall("own key");
    window.reset();
}

TEST(SettingsScreenshots, AFreshProfileShowsLinuxNamesOnly)
{
    Rig rig;
    Window w(rig);
    w.view->resize(900, 760);
    w.open(SettingsSection::processes);
    QStringList listed;
    for (QWidget* row : w.view->page()->findChildren<QWidget*>(QStringLiteral("protectedRow")))
        listed << row->property("processName").toString();
    EXPECT_EQ(listed, AppSettings::defaultProtectedProcesses());
    for (const char* other : {"Finder", "WindowServer", "kernel_task", "launchd", "Spotlight"})
        EXPECT_FALSE(listed.contains(QLatin1String(other))) << other;
    EXPECT_TRUE(dashboard_rig::saveTabShot(*w.view, QStringLiteral("settings-protected-defaults")));

    w.open(SettingsSection::automation);
    QStringList texts;
    for (QLabel* l : w.view->page()->findChildren<QLabel*>()) texts << l->text();
    const QString all = texts.join(QLatin1Char('\n'));
    for (const char* other : {"MLX", "Xcode", "Mail)"}) EXPECT_FALSE(all.contains(QLatin1String(other))) << other;
    EXPECT_TRUE(all.contains(QStringLiteral("llama-server")));
    EXPECT_TRUE(dashboard_rig::saveTabShot(*w.view, QStringLiteral("settings-automation-linux")));
}

TEST(SettingsScreenshots, EverySectionRenders)
{
    Rig rig;
    AppSettings& s = rig.base.settings;
    // A lived-in machine: a run in the history, a boundary alert-free shield, a profile switch.
    rig.base.profiles.switchProfile(PerformanceMode::developer);
    s.setAutoCleanDownloads(true);
    s.setOllamaEnabled(true);
    s.setByoKeyEnabled(true);
    s.setByoKeyValue(QStringLiteral("sk-secret-never-shown"));
    s.setVraxIntegrationEnabled(true);
    rig.userData.size = 48'200'000;
    rig.userData.items = {QDir::homePath() + QStringLiteral("/.local/share/Veltranmoor")};
    rig.updates.now = UpdateStateView{UpdateStateView::Kind::upToDate, "4.2.1", {}, {}, {}};
    for (int i = 0; i < 3; ++i) rig.base.processManager.recordIncident(QStringLiteral("chrome"));
    Window w(rig);
    w.view->resize(900, 760);
    for (SettingsSection section : SettingsSections::all) {
        w.open(section);
        const QString name = QStringLiteral("settings-") +
                             SettingsSections::rawValue(section).toLower().replace(QLatin1Char(' '), QLatin1Char('-')).remove(QLatin1Char('&'));
        const QImage shot = w.view->grab().toImage();
        ASSERT_FALSE(shot.isNull());
        // The sidebar's fixed colour and a page drawn beside it.
        EXPECT_EQ(QColor(shot.pixel(4, shot.height() - 4)), SettingsStyle::sidebarBg);
        EXPECT_TRUE(dashboard_rig::saveTabShot(*w.view, name));
    }
    stall_watch::expectNoStall("screenshots");
}
