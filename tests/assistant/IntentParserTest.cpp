#include "AssistantFakes.h"

#include "assistant/IntentParser.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t GiB = 1ULL << 30;

// A calm machine: nothing over any threshold, no temperature sensor, no battery.
struct Calm : FakeWorld {
    Calm()
    {
        monitor.health.score = 87;
        monitor.snapshot.cpuUsage = 12;
        monitor.snapshot.memoryUsed = 6.4;
        monitor.snapshot.memoryTotal = 16;
        monitor.snapshot.memoryPressure = 40;
        monitor.snapshot.diskTotal = 500 * GiB;
        monitor.snapshot.diskUsed = 100 * GiB;
        monitor.snapshot.topProcesses = {makeProcess(QStringLiteral("WindowServer"), 151, 12, 412),
                                         makeProcess(QStringLiteral("Safari"), 300, 41, 2048),
                                         makeProcess(QStringLiteral("kernel_task"), 0, 6, 1500),
                                         makeProcess(QStringLiteral("mds"), 90, 2, 80)};
        monitor.processes = monitor.snapshot.topProcesses;
    }
};

}  // namespace

TEST(IntentParser, LinesToResults)
{
    const QString none;
    const struct {
        const char* line;
        QString title;  // empty: no action
        ActionRisk risk;
        QString understood;
        std::optional<QString> reply;
    } cases[] = {
        {"", none, ActionRisk::safe, none, std::nullopt},
        {"   ", none, ActionRisk::safe, none, std::nullopt},
        {"Status?", QStringLiteral("Machine status"), ActionRisk::safe, QStringLiteral("Reading current machine status."), std::nullopt},
        {"how are you", QStringLiteral("Machine status"), ActionRisk::safe, QStringLiteral("Reading current machine status."), std::nullopt},
        {"how's the computer", QStringLiteral("Machine status"), ActionRisk::safe, QStringLiteral("Reading current machine status."), std::nullopt},
        {"give me a report", QStringLiteral("Machine status"), ActionRisk::safe, QStringLiteral("Reading current machine status."), std::nullopt},
        {"what's hot?", none, ActionRisk::safe, none,
         QStringLiteral("Thermal state is Nominal \u2014 this computer doesn't expose a readable die temperature, so I'm "
                        "going off system pressure. CPU is at 12%. What's driving it: Safari (41% CPU), WindowServer "
                        "(12% CPU), kernel_task (6% CPU). Safari is the main one \u2014 say \u201Cstop safari\u201D and "
                        "I'll confirm before doing anything.")},
        {"why is it so slow", none, ActionRisk::safe, none,
         QStringLiteral("Nothing obvious \u2014 CPU 12%, memory 40%, disk 20% full, health 87/100. Heaviest right now: "
                        "Safari (41% CPU), WindowServer (12% CPU), kernel_task (6% CPU).")},
        {"disk", none, ActionRisk::safe, none, std::nullopt},
        {"how full is my disk", none, ActionRisk::safe, none,
         QStringLiteral("Disk is 20% full \u2014 400.0 GB free of 500 GB. You've got room.")},
        {"what about my ram", none, ActionRisk::safe, none,
         QStringLiteral("Memory is 6.4 GB of 16.0 GB used \u2014 40%, pressure 40%. Biggest consumers: Safari (2.0 GB), "
                        "kernel_task (1.5 GB), WindowServer (412 MB).")},
        {"which process is hogging the cpu", none, ActionRisk::safe, none,
         QStringLiteral("CPU is at 12%. Top processes: Safari (41% CPU), WindowServer (12% CPU), kernel_task (6% CPU).")},
        {"what's my battery?", none, ActionRisk::safe, none, QStringLiteral("No battery reading on this computer.")},
        {"how am i doing", none, ActionRisk::safe, none,
         QStringLiteral("Health is 87/100 \u2014 CPU 12%, memory 40%, disk 20% full, thermals Nominal. Profile: Balanced.")},
        {"free up 10GB", QStringLiteral("Free up ~10GB"), ActionRisk::reversible, QStringLiteral("Freeing up about 10GB of cache/junk."), std::nullopt},
        {"free up 0GB", QStringLiteral("Clean caches & junk"), ActionRisk::reversible, QStringLiteral("Cleaning regenerable caches and junk."), std::nullopt},
        {"clean 1,500 files", QStringLiteral("Free up ~1GB"), ActionRisk::reversible, QStringLiteral("Freeing up about 1GB of cache/junk."), std::nullopt},
        {"free up space 99999999999999999999", QStringLiteral("Clean caches & junk"), ActionRisk::reversible, QStringLiteral("Cleaning regenerable caches and junk."), std::nullopt},
        {"free up space", QStringLiteral("Clean caches & junk"), ActionRisk::reversible, QStringLiteral("Cleaning regenerable caches and junk."), std::nullopt},
        {"free memory", QStringLiteral("Relieve memory pressure"), ActionRisk::reversible, QStringLiteral("Requesting memory relief."), std::nullopt},
        {"free up memory", QStringLiteral("Relieve memory pressure"), ActionRisk::reversible, QStringLiteral("Requesting memory relief."), std::nullopt},
        {"free 2 gb of memory", QStringLiteral("Free up ~2GB"), ActionRisk::reversible, QStringLiteral("Freeing up about 2GB of cache/junk."), std::nullopt},
        {"flush dns", QStringLiteral("Flush DNS cache"), ActionRisk::reversible, QStringLiteral("Flushing the DNS cache."), std::nullopt},
        {"optimize for coding", QStringLiteral("Optimize: Developer"), ActionRisk::reversible, QStringLiteral("Switching to the Developer profile."), std::nullopt},
        {"I need to compile", QStringLiteral("Optimize: Developer"), ActionRisk::reversible, QStringLiteral("Switching to the Developer profile."), std::nullopt},
        {"long coding session", QStringLiteral("Optimize: Developer"), ActionRisk::reversible, QStringLiteral("Switching to the Developer profile."), std::nullopt},
        {"force quit xcode", QStringLiteral("Optimize: Developer"), ActionRisk::reversible, QStringLiteral("Switching to the Developer profile."), std::nullopt},
        {"my battery is low", QStringLiteral("Optimize: Battery Saver"), ActionRisk::reversible, QStringLiteral("Switching to the Battery Saver profile."), std::nullopt},
        {"video call", QStringLiteral("Optimize: Creative Work"), ActionRisk::reversible, QStringLiteral("Switching to the Creative Work profile."), std::nullopt},
        {"kill safari", QStringLiteral("Stop safari"), ActionRisk::destructive,
         QStringLiteral("Stopping \u201Csafari\u201D. This is irreversible \u2014 unsaved work in it is lost."), std::nullopt},
        {"Stop Google Chrome Canary", QStringLiteral("Stop google chrome"), ActionRisk::destructive,
         QStringLiteral("Stopping \u201Cgoogle chrome\u201D. This is irreversible \u2014 unsaved work in it is lost."), std::nullopt},
        {"stop it now", QStringLiteral("Stop it now"), ActionRisk::destructive,
         QStringLiteral("Stopping \u201Cit now\u201D. This is irreversible \u2014 unsaved work in it is lost."), std::nullopt},
        {"stop it", none, ActionRisk::safe, none, std::nullopt},
        {"shut down everything", none, ActionRisk::safe, none, std::nullopt},
        // "end " inside "send" is no stop verb.
        {"send email to bob", none, ActionRisk::safe, none, std::nullopt},
        {"hi", none, ActionRisk::safe, none,
         QStringLiteral("Tavrilon here. Want me to free up space, optimize for a session, or show you what\u2019s hot?")},
        {"hey tavrilon", none, ActionRisk::safe, none,
         QStringLiteral("Tavrilon here. Want me to free up space, optimize for a session, or show you what\u2019s hot?")},
        {"hi there", none, ActionRisk::safe, none, std::nullopt},
        {"thanks!", none, ActionRisk::safe, none, QStringLiteral("Anytime. I\u2019m watching your computer \u2014 just say the word.")},
        {"ty", none, ActionRisk::safe, none, QStringLiteral("Anytime. I\u2019m watching your computer \u2014 just say the word.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Calm world;
        const ParseResult result = parseIntent(QString::fromUtf8(c.line), world.services());
        EXPECT_EQ(result.action.has_value(), !c.title.isEmpty());
        if (result.action) {
            EXPECT_EQ(result.action->title, c.title);
            EXPECT_EQ(result.action->risk, c.risk);
        }
        EXPECT_EQ(result.understood, c.understood);
        EXPECT_EQ(result.directReply, c.reply);
    }
}

TEST(IntentParser, SmallTalkReplies)
{
    Calm world;
    const auto reply = [&](const char* line) {
        return parseIntent(QString::fromUtf8(line), world.services()).directReply.value_or(QString());
    };
    EXPECT_TRUE(reply("help").startsWith(QStringLiteral("Here\u2019s what I can do right now:\n\u2022 Free up disk space")));
    EXPECT_EQ(reply("what can you do"), reply("help"));
    EXPECT_EQ(reply("help").count(QLatin1Char('\n')), 7);
    EXPECT_TRUE(reply("are you siri").startsWith(QStringLiteral("I\u2019m Veltranmoor \u2014 your computer\u2019s")));
}

TEST(IntentParser, ComposersAtTheirThresholds)
{
    {
        // Slowness: every cause at its threshold, and memory's suggestion wins over the disk's.
        Calm w;
        w.monitor.snapshot.memoryUsed = 12.8;  // 80 %
        w.monitor.snapshot.diskUsed = 450 * GiB;  // 90 %
        w.monitor.snapshot.cpuUsage = 60;
        w.monitor.snapshot.topProcesses.clear();
        EXPECT_EQ(answerQuestion(QStringLiteral("why so sluggish"), w.services()),
                  QStringLiteral("Most likely: memory is tight at 80% used (12.8 GB of 16.0 GB); the disk is 90% full, "
                                 "which slows Linux down on its own; CPU is busy at 60%.  Say \u201Cfree memory\u201D "
                                 "and I'll relieve the pressure."));
    }
    {
        // Just below: pressure alone names memory, and the disk suggestion applies.
        Calm w;
        w.monitor.snapshot.memoryUsed = 12.7;
        w.monitor.snapshot.memoryPressure = 70;
        w.monitor.snapshot.diskUsed = 450 * GiB;
        w.monitor.snapshot.cpuUsage = 59.4;
        w.monitor.snapshot.topProcesses = {makeProcess(QStringLiteral("a"), 5, 1, 1)};
        EXPECT_EQ(answerQuestion(QStringLiteral("laggy?"), w.services()),
                  QStringLiteral("Most likely: memory is tight at 79% used (12.7 GB of 16.0 GB); the disk is 90% full, "
                                 "which slows Linux down on its own. Heaviest right now: a (1% CPU). Say \u201Cfree up "
                                 "space\u201D and I'll clear regenerable caches."));
    }
    {
        Calm w;
        w.monitor.snapshot.cpuTempC = 71.6;
        w.monitor.snapshot.thermalState = ThermalLevel::fair;
        w.monitor.snapshot.topProcesses = {makeProcess(QStringLiteral("Build"), 9, 24.9, 10)};
        EXPECT_EQ(answerQuestion(QStringLiteral("fan noise"), w.services()),
                  QStringLiteral("CPU die is at 72\u00B0C and the thermal state is Fair. CPU is at 12%. What's driving "
                                 "it: Build (25% CPU)."));
        w.monitor.snapshot.topProcesses.clear();
        EXPECT_EQ(answerQuestion(QStringLiteral("fan noise"), w.services()),
                  QStringLiteral("CPU die is at 72\u00B0C and the thermal state is Fair. CPU is at 12%. Nothing is "
                                 "standing out right now."));
    }
    {
        Calm w;
        w.monitor.snapshot.memoryUsed = 12.8;
        w.monitor.snapshot.diskUsed = 450 * GiB;
        w.monitor.snapshot.topProcesses.clear();
        EXPECT_EQ(answerQuestion(QStringLiteral("what about swap"), w.services()),
                  QStringLiteral("Memory is 12.8 GB of 16.0 GB used \u2014 80%, pressure 40%.  Say \u201Cfree "
                                 "memory\u201D and I'll relieve it."));
        EXPECT_EQ(answerQuestion(QStringLiteral("storage?"), w.services()),
                  QStringLiteral("Disk is 90% full \u2014 50.0 GB free of 500 GB. That's tight enough to hurt "
                                 "performance. Say \u201Cfree up space\u201D and I'll clear caches and temporary files "
                                 "\u2014 nothing you'd miss."));
        EXPECT_EQ(answerQuestion(QStringLiteral("cpu?"), w.services()),
                  QStringLiteral("CPU is at 12%. Nothing notable is running."));
        w.battery.level = 80;
        w.battery.charging = true;
        EXPECT_EQ(answerQuestion(QStringLiteral("battery?"), w.services()),
                  QStringLiteral("Battery is at 80% and charging."));
    }
    {
        // Zero totals give zero shares, never a division by zero.
        Calm w;
        w.monitor.snapshot = PerformanceSnapshot{};
        w.monitor.health.score = 0;
        EXPECT_EQ(answerQuestion(QStringLiteral("why slow"), w.services()),
                  QStringLiteral("Nothing obvious \u2014 CPU 0%, memory 0%, disk 0% full, health 0/100. "));
    }
}

TEST(IntentParser, Extractors)
{
    EXPECT_EQ(extractCleanRequest(QStringLiteral("clean 500mb")), 500);
    EXPECT_EQ(extractCleanRequest(QStringLiteral("free up 10gb and 20gb")), 10);
    EXPECT_EQ(extractCleanRequest(QStringLiteral("clean \u0661\u0662")), std::nullopt);  // digits, but not ASCII
    EXPECT_EQ(extractCleanRequest(QStringLiteral("delete 5gb")), std::nullopt);
    EXPECT_EQ(extractCleanRequest(QStringLiteral("reclaim")), std::nullopt);

    EXPECT_EQ(detectProfile(QStringLiteral("barcode")), PerformanceMode::developer);  // plain substrings
    EXPECT_EQ(detectProfile(QStringLiteral("game on battery")), PerformanceMode::gaming);
    EXPECT_EQ(detectProfile(QStringLiteral("all out")), PerformanceMode::maxPerformance);
    EXPECT_EQ(detectProfile(QStringLiteral("back to normal")), PerformanceMode::balanced);
    EXPECT_EQ(detectProfile(QStringLiteral("hello")), std::nullopt);

    EXPECT_EQ(extractStopTarget(QStringLiteral("please stop \t firefox  now please")), QStringLiteral("firefox now"));
    EXPECT_EQ(extractStopTarget(QStringLiteral("stop that")), std::nullopt);
    EXPECT_EQ(extractStopTarget(QStringLiteral("stop the mac")), std::nullopt);
    EXPECT_EQ(extractStopTarget(QStringLiteral("stop the computer")), std::nullopt);
    EXPECT_EQ(extractStopTarget(QStringLiteral("stop it, kill slack")), QStringLiteral("it, kill"));
    EXPECT_EQ(extractStopTarget(QStringLiteral("backend end spotify")), QStringLiteral("spotify"));
}
