#include "ui/recovery/RecoveryRevisionModel.h"

#include "ui/recovery/RecoveryView.h"

int RecoveryRevisionModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_revisions.size());
}

QVariant RecoveryRevisionModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_revisions.size()) return {};
    const WorkRecovery::SnapshotRevision& r = m_revisions.at(index.row());
    if (role == Qt::DisplayRole) return RecoveryView::dateText(r.capturedAt);
    if (role == Qt::UserRole) return r.id;
    return {};
}

void RecoveryRevisionModel::setRevisions(QList<WorkRecovery::SnapshotRevision> revisions)
{
    beginResetModel();
    m_revisions = std::move(revisions);
    endResetModel();
}

int RecoveryRevisionModel::rowOf(const QString& id) const
{
    for (qsizetype i = 0; i < m_revisions.size(); ++i)
        if (m_revisions[i].id == id) return int(i);
    return -1;
}
