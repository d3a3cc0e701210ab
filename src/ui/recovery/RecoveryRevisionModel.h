#pragma once

#include "guards/WorkRecovery.h"

#include <QAbstractListModel>

// The selected file's revisions, newest first.
class RecoveryRevisionModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the capture date; UserRole: the revision file.
    QVariant data(const QModelIndex& index, int role) const override;

    void setRevisions(QList<WorkRecovery::SnapshotRevision> revisions);
    const QList<WorkRecovery::SnapshotRevision>& revisions() const { return m_revisions; }
    const WorkRecovery::SnapshotRevision& revision(int row) const { return m_revisions.at(row); }
    int rowOf(const QString& id) const;

private:
    QList<WorkRecovery::SnapshotRevision> m_revisions;
};
