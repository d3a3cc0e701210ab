#include "ui/dashboard/ProcessListModel.h"

#include "core/CFormat.h"

namespace ProcessListModel {

QString countText(qsizetype count)
{
    return cformat("%lld", static_cast<long long>(count)) + (count == 1 ? QStringLiteral(" process") : QStringLiteral(" processes"));
}

NamedColor cpuColor(double cpuUsage)
{
    if (cpuUsage > 80) return NamedColor::red;
    if (cpuUsage > 50) return NamedColor::yellow;
    return NamedColor::green;
}

Row row(const ProcessInfoItem& process)
{
    return Row{
        .pidText = cformat("%d", process.pid),
        .name = process.name,
        .showsShield = process.isProtected,
        .cpuText = cformat("%.1f%%", process.cpuUsage),
        .cpuColor = cpuColor(process.cpuUsage),
        .memoryText = cformat("%.0f MB", process.memoryMB),
        .statusText = process.isRunaway ? QStringLiteral("High") : QStringLiteral("Normal"),
        .statusColor = process.isRunaway ? NamedColor::red : NamedColor::green,
        .highlighted = process.isRunaway,
        .hasButtons = !process.isProtected,
    };
}

}  // namespace ProcessListModel
