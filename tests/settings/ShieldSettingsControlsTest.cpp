#include "../guards/ShieldRig.h"
#include "app/SettingsBridges.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

// The settings page's view of AI Shield follows the boundary watch itself: its counts, its last
// alert, clearing, and the manual resume that turns both pause flags off.
TEST(ShieldSettingsControls, ShowAndDriveTheRealBoundaryWatch)
{
    ShieldRig r;
    const QString home = QDir::homePath();
    ShieldSettingsControls controls(r.settings, r.shield, home, &r.boundary);
    QSignalSpy changed(&controls, &AIShieldControls::changed);

    r.inventory.add(50, QStringLiteral("claude"), QStringList{"claude"});
    r.poll();
    r.files.files[50] = QStringLiteral("p50\nf3\nn") + home + QStringLiteral("/.ssh/id_ed25519\nf4\nn/tmp/elsewhere\n");
    r.files.endpoints[50] = QStringLiteral("p50\nf6\nn127.0.0.1:5000->127.0.0.1:8080\n");
    r.scan();

    EXPECT_GE(changed.size(), 1);
    EXPECT_EQ(controls.aiProcessCount(), 1);
    EXPECT_EQ(controls.openFileCount(), 2);
    EXPECT_EQ(controls.endpointCount(), 1);
    const auto alert = controls.lastBoundaryAlert();
    ASSERT_TRUE(alert.has_value());
    EXPECT_EQ(alert->pid, 50);
    EXPECT_EQ(alert->processName, QStringLiteral("claude"));
    EXPECT_EQ(alert->openPath, home + QStringLiteral("/.ssh/id_ed25519"));

    controls.clearBoundaryAlerts();
    EXPECT_FALSE(controls.lastBoundaryAlert().has_value());
    EXPECT_TRUE(r.boundary.boundaryAlerts().isEmpty());

    // The page's Resume: both flags off, then "manual override" resumes through the watch.
    r.boundary.handleSnoozeFire(r.clock.now());
    EXPECT_TRUE(controls.snoozePauseActive());
    controls.setSnoozePauseActive(false);
    controls.setQuietHoursActive(false);
    controls.resumePausedProcesses(QStringLiteral("manual override"));
    EXPECT_FALSE(controls.quietHoursActive());
    EXPECT_FALSE(controls.snoozePauseActive());
    EXPECT_EQ(controls.quietHoursActive(), r.boundary.quietHoursActive());
}
