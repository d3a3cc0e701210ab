#include "platform/linux/LinuxHostFacts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(LinuxHostFacts, ReadsTheSystemNameCpuModelAndMemory)
{
    EXPECT_EQ(LinuxHostFacts::prettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    EXPECT_EQ(LinuxHostFacts::prettyName("PRETTY_NAME='Arch \\\"rolling\\\"'\n"), QStringLiteral("Arch \"rolling\""));
    EXPECT_EQ(LinuxHostFacts::prettyName("PRETTY_NAME=Alpine\n"), QStringLiteral("Alpine"));
    EXPECT_EQ(LinuxHostFacts::prettyName("NAME=x\n"), QString());
    EXPECT_EQ(LinuxHostFacts::cpuModel("processor\t: 0\nmodel name\t: AMD Ryzen 7 5800X 8-Core Processor\nprocessor\t: 1\n"
                                       "model name\t: AMD Ryzen 7 5800X 8-Core Processor\n"),
              QStringLiteral("AMD Ryzen 7 5800X 8-Core Processor"));
    EXPECT_EQ(LinuxHostFacts::cpuModel("processor\t: 0\nBogoMIPS\t: 108.00\nHardware\t: BCM2835\n"), QStringLiteral("BCM2835"));
    EXPECT_EQ(LinuxHostFacts::cpuModel("garbage without colons\n\n"), QString());

    QTemporaryDir root;
    QDir().mkpath(root.path() + QStringLiteral("/etc"));
    QDir().mkpath(root.path() + QStringLiteral("/proc"));
    auto write = [&](const QString& path, const QByteArray& bytes) {
        QFile f(root.path() + path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write(QStringLiteral("/etc/os-release"), "PRETTY_NAME=\"Fixture OS 1\"\n");
    write(QStringLiteral("/proc/cpuinfo"), "model name\t: Fixture CPU @ 3.00GHz\n");
    write(QStringLiteral("/proc/meminfo"), "MemTotal:       16303520 kB\nMemFree:  1 kB\n");
    const HostFacts facts = LinuxHostFacts(root.path() + QStringLiteral("/etc"), root.path() + QStringLiteral("/proc")).read();
    EXPECT_EQ(facts.osVersion, QStringLiteral("Fixture OS 1"));
    EXPECT_EQ(facts.cpuBrand, QStringLiteral("Fixture CPU @ 3.00GHz"));
    EXPECT_EQ(facts.physicalMemoryBytes, 16303520ull * 1024);
    EXPECT_FALSE(facts.hostName.isEmpty());

    const HostFacts missing = LinuxHostFacts(root.path() + QStringLiteral("/none"), root.path() + QStringLiteral("/none")).read();
    EXPECT_EQ(missing.cpuBrand, QStringLiteral("unknown"));
    EXPECT_EQ(missing.physicalMemoryBytes, 0u);
    EXPECT_FALSE(missing.osVersion.isEmpty());
}
