// The sampling engine's emergency path with the real disk cleaner on a fixture home: a
// critically full disk cleans 5 s later (virtual time) and logs one record per target.
#include "actions/DiskCleaner.h"
#include "core/Paths.h"
#include "monitoring/MonitorFakes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace std::chrono_literals;

namespace {

void writeFile(const QString& path, qint64 bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
}

PerformanceSnapshot withFreeGiB(double freeGiB)
{
    const uint64_t gib = 1ULL << 30;
    PerformanceSnapshot s;
    s.diskTotal = 1000 * gib;
    s.diskUsed = s.diskTotal - uint64_t(freeGiB * double(gib));
    return s;
}

}  // namespace

TEST(EmergencyCleanup, CriticalDiskCleansAfterFiveSecondsAndLogsEachTarget)
{
    const QString home = Paths::home();
    writeFile(home + "/.cache/pip/http/a.whl", 1'500'000);
    writeFile(home + "/.npm/_cacache/content/b", 1'200'000);
    writeFile(home + "/Documents/thesis.txt", 10);

    MonitorRig rig;
    DiskCleaner cleaner;
    FixtureReaders readers(QStringLiteral("/nonexistent"));
    PerformanceMonitor monitor(readers.platform(),
                               MonitorCollaborators{rig.settings, rig.clock, rig.scheduler, rig.control, rig.ledger,
                                                    rig.notifier, rig.temperature, cleaner, rig.battery, rig.advisor,
                                                    rig.profiles});
    monitor.setCurrentSnapshot(withFreeGiB(4));
    HealthScore healthy;
    healthy.score = 90;
    monitor.evaluateAutomaticActions(withFreeGiB(4), healthy);
    EXPECT_EQ(rig.notifier.calls, QStringList{QStringLiteral("emergency 4.0")});

    rig.scheduler.advance(4900ms);
    QCoreApplication::processEvents();
    EXPECT_TRUE(QFile::exists(home + "/.cache/pip/http/a.whl")) << "nothing moves before the 5 s delay";

    rig.scheduler.advance(100ms);
    auto emergencyRecords = [&] {
        QList<ActionRecord> out;
        for (const ActionRecord& r : monitor.actionHistory())
            if (r.action == ActionType::emergencyCleanup) out << r;
        return out;
    };
    ASSERT_TRUE(waitUntil([&] { return emergencyRecords().size() == 2; }));
    QStringList details;
    for (const ActionRecord& r : emergencyRecords()) {
        EXPECT_TRUE(r.wasAutomatic);
        details << r.detail;
    }
    details.sort();
    EXPECT_EQ(details, (QStringList{QStringLiteral("Moved 1.2 MB to the Trash"), QStringLiteral("Moved 1.5 MB to the Trash")}));

    EXPECT_FALSE(QFile::exists(home + "/.cache/pip/http/a.whl"));
    EXPECT_FALSE(QFile::exists(home + "/.npm/_cacache/content/b"));
    EXPECT_TRUE(QFile::exists(home + "/Documents/thesis.txt"));
    EXPECT_FALSE(QDir(Paths::trashDir() + "/files").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_FALSE(QDir(Paths::trashDir() + "/info").entryList({"*.trashinfo"}, QDir::Files).isEmpty());
}
