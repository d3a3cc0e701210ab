#include "monitoring/GPUMonitor.h"
#include "optimisation/AIWorkloadMode.h"
#include "optimisation/PerformanceProfileManager.h"

#include <gtest/gtest.h>

// Every built-in list of process names keeps its own entries first and ends with the Linux
// names of the same programs, in this order.
TEST(LinuxNameLists, EveryListEndsWithItsLinuxNames)
{
    const struct {
        const char* list;
        QStringList actual;
        qsizetype ownEntries;
        QString firstOwn;
        QStringList linux;
    } rows[] = {
        {"GPU-heavy fragments", GPUMonitor::gpuHeavyNonCriticalFragments(), 8, "google chrome helper",
         {"chrome", "chromium", "isolated web co", "web content", "firefox", "electron"}},
        {"AI tool fragments", AIWorkloadMode::aiToolFragments(), 10, "cursor",
         {"llama-server", "llama-cli", "lm-studio", "koboldcpp", "text-generation", "comfyui", "invokeai", "aider"}},
        {"competitor fragments", AIWorkloadMode::competitorFragments(), 8, "spotify",
         {"thunderbird", "evolution", "telegram-desktop", "signal-desktop", "element-desktop", "tracker-miner", "baloo"}},
        {"developer profile list", PerformanceProfileManager::protectedProcessesOf(PerformanceMode::developer), 26, "Xcode",
         {"code", "codium", "gcc", "cc1plus", "make", "ninja", "cmake", "java", "gradle", "konsole", "gnome-terminal-server",
          "kitty", "alacritty", "wezterm", "idea", "clion", "android-studio"}},
        {"gaming profile list", PerformanceProfileManager::protectedProcessesOf(PerformanceMode::gaming), 5, "Steam",
         {"steam", "steamwebhelper", "gamescope", "wine", "wine64-preloader", "lutris", "heroic", "gamemoded"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.list);
        ASSERT_EQ(r.actual.size(), r.ownEntries + r.linux.size());
        EXPECT_EQ(r.actual.first(), r.firstOwn);
        EXPECT_EQ(r.actual.mid(r.ownEntries), r.linux);
    }
}

TEST(LinuxNameLists, LinuxProcessNamesTriggerTheProfiles)
{
    const char* developer[] = {"code", "codium", "gcc", "cc1plus", "make", "ninja", "cmake", "java", "gradle", "konsole",
                               "gnome-terminal-server", "kitty", "alacritty", "wezterm", "idea", "clion", "android-studio"};
    const char* gaming[] = {"steam", "steamwebhelper", "gamescope", "wine", "wine64-preloader", "lutris", "heroic", "gamemoded"};
    for (const char* name : developer) {
        EXPECT_EQ(PerformanceProfileManager::detectMode(80, true, {QString::fromLatin1(name)}, 10), PerformanceMode::developer) << name;
    }
    for (const char* name : gaming) {
        EXPECT_EQ(PerformanceProfileManager::detectMode(80, true, {QString::fromLatin1(name)}, 10), PerformanceMode::gaming) << name;
    }
    EXPECT_EQ(PerformanceProfileManager::detectMode(80, true, {QStringLiteral("bash")}, 10), PerformanceMode::balanced);
}
