#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// What the status menu reads of Work Guard.
class WorkGuardStatus {
public:
    struct RankedFile {
        QUrl id;  // the file
        double score = 0;
        QDateTime modifiedAt;
        qint64 size = 0;
        bool operator==(const RankedFile&) const = default;
    };

    virtual ~WorkGuardStatus() = default;
    virtual int64_t totalSnapshots() const = 0;
    virtual std::optional<QDateTime> lastSweepAt() const = 0;
    virtual std::optional<QString> lastTrigger() const = 0;
    virtual QList<RankedFile> lastRanked() const = 0;
    virtual QString snapshotsRoot() const = 0;  // the snapshot store folder
    // Set while snapshots are held back (the disk is nearly full).
    virtual std::optional<QString> storeNotice() const { return std::nullopt; }
};
