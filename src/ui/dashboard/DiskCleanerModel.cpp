#include "ui/dashboard/DiskCleanerModel.h"

#include "core/ByteCountFormatter.h"
#include "core/CFormat.h"

#include <algorithm>

namespace DiskCleanerModel {

Content content(bool isScanning, bool isCleaning, bool hasScanned, bool resultsEmpty)
{
    if (isScanning) return Content::scanning;
    if (isCleaning) return Content::cleaning;
    if (!hasScanned) return Content::prompt;
    return resultsEmpty ? Content::clean : Content::results;
}

QString freeSpaceText(double freeGiB) { return cformat("%.1f GB free on disk", freeGiB); }

uint64_t selectedBytes(const QList<CleanupTarget>& results, const QSet<QUuid>& selected)
{
    uint64_t sum = 0;
    for (const CleanupTarget& t : results)
        if (selected.contains(t.id)) sum += t.sizeBytes;
    return sum;
}

QString selectionButtonText(qsizetype selectedCount, qsizetype listedCount)
{
    return selectedCount == listedCount ? QStringLiteral("Deselect All") : QStringLiteral("Select All");
}

QString cleanButtonText(uint64_t bytes)
{
    return QStringLiteral("Clean Selected (") + formatByteCount(qint64(bytes)) + QStringLiteral(")");
}

QString confirmMessage(uint64_t bytes)
{
    // Items go to the Trash, so the message says so rather than promising a permanent delete.
    return QStringLiteral("This will move ") + formatByteCount(qint64(bytes)) +
           QStringLiteral(" of cache and temporary files to the Trash.");
}

QString canFreeText(uint64_t bytes) { return QStringLiteral("Can free: ") + formatByteCount(qint64(bytes)); }
QString selectedText(uint64_t bytes) { return QStringLiteral("Selected: ") + formatByteCount(qint64(bytes)); }
QString freedText(uint64_t bytes)
{
    return QStringLiteral("Moved ") + formatByteCount(qint64(bytes)) + QStringLiteral(" to the Trash");
}

bool isSelectable(const CleanupTarget& target) { return target.category != CleanupCategory::trashBin; }

qsizetype selectableCount(const QList<CleanupTarget>& results)
{
    return std::count_if(results.begin(), results.end(), [](const CleanupTarget& t) { return isSelectable(t); });
}

}  // namespace DiskCleanerModel
