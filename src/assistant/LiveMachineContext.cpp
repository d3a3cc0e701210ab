#include "assistant/LiveMachineContext.h"

#include "assistant/InsightSource.h"
#include "core/CFormat.h"
#include "monitoring/MonitorState.h"
#include "optimisation/ProfileService.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString kDash = QStringLiteral(" \u2014 ");
const QString kItem = QStringLiteral("    \u2022 ");

QString fixed(double value, int decimals) { return cformat("%.*f", decimals, value); }
QString percent(double value) { return fixed(value, 0) + QLatin1Char('%'); }
QString gigabytes(double value) { return fixed(value, 1) + QStringLiteral(" GB"); }

QString severityWord(InsightItem::Severity severity)
{
    switch (severity) {
    case InsightItem::Severity::warning: return QStringLiteral("warning");
    case InsightItem::Severity::critical: return QStringLiteral("critical");
    case InsightItem::Severity::info: break;
    }
    return QStringLiteral("info");
}

}  // namespace

QString formatProcessMemory(double memoryMB)
{
    if (memoryMB >= 1024) return gigabytes(memoryMB / 1024);
    return fixed(memoryMB, 0) + QStringLiteral(" MB");
}

QString buildLiveMachineContext(const MonitorState& monitor, const ProfileService& profiles,
                                const InsightSource& insights)
{
    const PerformanceSnapshot snapshot = monitor.currentSnapshot();
    const HealthScore health = monitor.currentHealth();
    const PerformanceMode profile = profiles.activeProfile();
    const QList<InsightItem> findings = insights.insights();

    QStringList lines;
    lines << QStringLiteral("CURRENT MACHINE STATE (measured locally, live):");
    lines << QStringLiteral("- Health score: ") + QString::number(health.score) + QStringLiteral("/100");
    lines << QStringLiteral("- CPU: ") + percent(snapshot.cpuUsage) + QStringLiteral(" in use");
    const double memoryShare = snapshot.memoryTotal > 0 ? snapshot.memoryUsed / snapshot.memoryTotal * 100 : 0;
    lines << QStringLiteral("- Memory: ") + gigabytes(snapshot.memoryUsed) + QStringLiteral(" of ") +
                 gigabytes(snapshot.memoryTotal) + QStringLiteral(" used (") + percent(memoryShare) +
                 QStringLiteral(" \u2014 pressure ") + percent(snapshot.memoryPressure) + QLatin1Char(')');
    const double diskShare = snapshot.diskTotal > 0 ? double(snapshot.diskUsed) / double(snapshot.diskTotal) * 100 : 0;
    // Used is never above total in a published sample; guard the subtraction anyway.
    const double diskFree =
        snapshot.diskTotal > snapshot.diskUsed ? double(snapshot.diskTotal - snapshot.diskUsed) / 1073741824.0 : 0;
    lines << QStringLiteral("- Disk: ") + percent(diskShare) + QStringLiteral(" full, ") + gigabytes(diskFree) +
                 QStringLiteral(" free");
    const QString thermal = PerformanceSnapshot::rawValue(snapshot.thermalState);
    if (snapshot.cpuTempC) {
        lines << QStringLiteral("- CPU temperature: ") + fixed(*snapshot.cpuTempC, 0) +
                     QStringLiteral("\u00B0C (thermal state: ") + thermal + QLatin1Char(')');
    } else {
        lines << QStringLiteral("- Thermal state: ") + thermal + QStringLiteral(" (no die-temp sensor readable)");
    }
    lines << QStringLiteral("- Active performance profile: ") + PerformanceModes::rawValue(profile);

    if (!snapshot.topProcesses.isEmpty()) {
        QList<ProcessInfoItem> byCPU = snapshot.topProcesses;
        std::stable_sort(byCPU.begin(), byCPU.end(),
                         [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.cpuUsage > b.cpuUsage; });
        lines << QStringLiteral("- Top processes by CPU:");
        for (const ProcessInfoItem& p : byCPU.mid(0, 5)) {
            QStringList flags;
            if (p.isRunaway) flags << QStringLiteral("RUNAWAY");
            if (p.isProtected) flags << QStringLiteral("protected");
            lines << kItem + p.name + QStringLiteral(" (pid ") + QString::number(p.pid) + QLatin1Char(')') + kDash +
                         percent(p.cpuUsage) + QStringLiteral(" CPU, ") + formatProcessMemory(p.memoryMB) +
                         (flags.isEmpty() ? QString() : QStringLiteral(" [") + flags.join(QStringLiteral(", ")) +
                                                            QLatin1Char(']'));
        }
        QList<ProcessInfoItem> byMemory = snapshot.topProcesses;
        std::stable_sort(byMemory.begin(), byMemory.end(),
                         [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.memoryMB > b.memoryMB; });
        lines << QStringLiteral("- Top processes by memory:");
        for (const ProcessInfoItem& p : byMemory.mid(0, 3)) lines << kItem + p.name + kDash + formatProcessMemory(p.memoryMB);
    }

    if (findings.isEmpty()) {
        lines << QStringLiteral("- Veltranmoor's analysis has not flagged anything yet.");
    } else {
        lines << QStringLiteral("- Findings from Veltranmoor's own analysis:");
        for (const InsightItem& insight : findings.mid(0, 6)) {
            lines << kItem + QLatin1Char('[') + severityWord(insight.severity) + QStringLiteral("] ") + insight.title +
                         kDash + insight.detail;
        }
    }
    return lines.join(QLatin1Char('\n'));
}
