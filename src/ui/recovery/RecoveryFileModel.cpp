#include "ui/recovery/RecoveryFileModel.h"

#include "ui/theme/PlainText.h"

#include <QFileInfo>

#include <algorithm>

RecoveryFileModel::Listing RecoveryFileModel::Listing::of(QList<WorkRecovery::RecoverableFile> files)
{
    Listing out;
    out.lowered.reserve(files.size());
    for (const auto& f : files) out.lowered.append(f.originalPath.toLower());
    out.files = std::move(files);
    return out;
}

RecoveryFileModel::RecoveryFileModel(QObject* parent) : QAbstractListModel(parent) {}

int RecoveryFileModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

QVariant RecoveryFileModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()) return {};
    const WorkRecovery::RecoverableFile& f = file(index.row());
    switch (role) {
    case Qt::DisplayRole: return QFileInfo(f.originalPath).fileName();
    case Qt::ToolTipRole: return PlainText::toolTip(f.originalPath);
    case Qt::UserRole: return f.id;
    default: return {};
    }
}

void RecoveryFileModel::setListing(Listing listing)
{
    beginResetModel();
    m_listing = std::move(listing);
    m_index.clear();
    m_index.reserve(m_listing.files.size());
    for (qsizetype i = 0; i < m_listing.files.size(); ++i) m_index.insert(m_listing.files[i].id, int(i));
    filter();
    endResetModel();
}

void RecoveryFileModel::setQuery(const QString& query)
{
    if (query == m_query) return;
    beginResetModel();
    m_query = query;
    filter();
    endResetModel();
}

void RecoveryFileModel::filter()
{
    m_rows.clear();
    m_rows.reserve(m_listing.files.size());
    const QString q = m_query.toLower();
    for (qsizetype i = 0; i < m_listing.files.size(); ++i) {
        if (q.isEmpty() || m_listing.lowered.value(i).contains(q)) m_rows.append(int(i));
    }
}

QList<WorkRecovery::RecoverableFile> RecoveryFileModel::shown() const
{
    QList<WorkRecovery::RecoverableFile> out;
    out.reserve(m_rows.size());
    for (int i : m_rows) out.append(m_listing.files.at(i));
    return out;
}

int RecoveryFileModel::rowOf(const QString& bucket) const
{
    const auto it = m_index.constFind(bucket);
    if (it == m_index.constEnd()) return -1;
    // Rows keep the listing's order, so the row is found by halving.
    const auto row = std::lower_bound(m_rows.begin(), m_rows.end(), *it);
    return row != m_rows.end() && *row == *it ? int(row - m_rows.begin()) : -1;
}

const WorkRecovery::RecoverableFile* RecoveryFileModel::find(const QString& bucket) const
{
    const auto it = m_index.constFind(bucket);
    return it == m_index.constEnd() ? nullptr : &m_listing.files.at(*it);
}
