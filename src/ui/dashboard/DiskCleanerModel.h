#pragma once

#include "core/Models.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <cstdint>

// The Disk tab's texts and which of its content states shows, from the cleaner's published
// state and the view's own selection.
namespace DiskCleanerModel {

enum class Content { prompt, scanning, cleaning, clean, results };

Content content(bool isScanning, bool isCleaning, bool hasScanned, bool resultsEmpty);

QString freeSpaceText(double freeGiB);
// Sizes of the listed targets whose id is selected; ids no longer listed add nothing.
uint64_t selectedBytes(const QList<CleanupTarget>& results, const QSet<QUuid>& selected);
QString selectionButtonText(qsizetype selectedCount, qsizetype listedCount);
QString cleanButtonText(uint64_t selectedBytes);
QString confirmMessage(uint64_t selectedBytes);
QString canFreeText(uint64_t reclaimableBytes);
QString selectedText(uint64_t selectedBytes);
// What the last clean actually moved into the Trash: the space returns when the Trash is emptied.
QString freedText(uint64_t bytesMoved);
// The Trash is measured and listed but never cleaned here: it is emptied from the file manager.
bool isSelectable(const CleanupTarget& target);
qsizetype selectableCount(const QList<CleanupTarget>& results);

inline const QString title = QStringLiteral("DISK CLEANUP");
inline const QString scanningText = QStringLiteral("Scanning directories...");
inline const QString cleaningText = QStringLiteral("Moving to the Trash...");
inline const QString promptText = QStringLiteral("Scan your disk to find cleanable cache and temporary files.");
inline const QString scanNow = QStringLiteral("Scan Now");
inline const QString cleanTitle = QStringLiteral("Your disk is clean!");
inline const QString cleanHint = QStringLiteral("No significant cache or temp files found.");
inline const QString rescan = QStringLiteral("Re-scan");
inline const QString confirmTitle = QStringLiteral("Confirm Cleanup");
inline const QString trashNote = QStringLiteral("Empty the Trash from the file manager to free this space");

}  // namespace DiskCleanerModel
