// A real child whose memory climbs, sampled by the real sampler from /proc, reported as a leak.
#include "LearningRig.h"

#include "monitoring/MonitorFakes.h"
#include "monitoring/SampleCollector.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QSet>
#include <thread>

using namespace learning;
using namespace std::chrono_literals;


TEST(LeakingChild, TheSamplerFeedsTheEngineAndTheLeakIsFound)
{
    ChildProcess leaker({QStringLiteral(VELTRANMOOR_LEAKER)});
    ASSERT_TRUE(leaker.started());
    ChildProcess steady({QStringLiteral("/bin/sleep"), QStringLiteral("60")});
    ASSERT_TRUE(steady.started());

    ProcHostCpuSource cpu;
    ProcMemorySource memory;
    StatvfsVolumeSource volume;
    SysfsThermalStateSource thermal;
    OwnProcessesTable table;
    table.allowed = {int32_t(leaker.pid()), int32_t(steady.pid())};
    SampleCollector sampler(SamplerPlatform{cpu, memory, volume, thermal, table});

    // The child first has to start and take its first 64 MiB (slow under a loaded machine).
    QDeadlineTimer started(20000);
    auto leakerMB = [&](const Sample& sample) {
        for (const ProcessInfoItem& p : sample.snapshot.topProcesses) {
            if (p.pid == leaker.pid()) return p.memoryMB;
        }
        return 0.0;
    };
    while (leakerMB(sampler.takeSample(SampleInputs{})) < 60 && !started.hasExpired()) std::this_thread::sleep_for(20ms);
    ASSERT_FALSE(started.hasExpired());

    EngineRig rig;
    // A sample every 50 ms of real time stands for one a minute: the leaker's ~50 MiB per real
    // second reads as a climb of a few GB per hour, far above the 50 MB/h floor.
    for (int i = 0; i < 30; ++i) {
        const Sample sample = sampler.takeSample(SampleInputs{.now = rig.clock.now()});
        rig.feed(sample.snapshot, sample.snapshot.topProcesses);
        rig.clock.advance(60s);
        std::this_thread::sleep_for(50ms);
    }
    rig.settle();

    const QList<MemoryLeak>& leaks = rig.engine->detectedLeaks();
    const QString series = rig.onQueue([&](AIEngine::LearningState& s) {
        QStringList out;
        for (const MemoryObservation& o : s.memoryTracker.value(leaker.pid())) out << QString::number(o.memoryMB, 'f', 1);
        return out.join(QLatin1Char(' '));
    });
    ASSERT_EQ(leaks.size(), 1) << "the sleeping child is not a leak (and stays under 50 MB); series: "
                               << series.toStdString();
    EXPECT_EQ(leaks[0].pid, leaker.pid());
    EXPECT_EQ(leaks[0].processName, QStringLiteral("leaker"));
    EXPECT_GT(leaks[0].growthRateMBPerHour, 50);
    EXPECT_GT(leaks[0].confidence, 0.7);
    EXPECT_GT(leaks[0].currentMemoryMB, leaks[0].startMemoryMB);
    bool insight = false;
    for (const AIInsight& i : rig.engine->insights()) insight |= i.title == QStringLiteral("Memory leak: leaker");
    EXPECT_TRUE(insight);
}
