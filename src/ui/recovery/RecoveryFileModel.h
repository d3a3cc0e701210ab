#pragma once

#include "guards/WorkRecovery.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QStringList>

// The recovery window's file list: every protected file the store holds, and the rows the
// filter shows. A new listing or a new filter is one reset; the view paints only the rows in
// sight, so ten thousand files cost no more to show than ten.
class RecoveryFileModel : public QAbstractListModel {
    Q_OBJECT
public:
    // What a listing hands over: the files, newest first, and each path in lower case for the
    // filter (made where the store was read, off the main thread).
    struct Listing {
        QList<WorkRecovery::RecoverableFile> files;
        QStringList lowered;
        static Listing of(QList<WorkRecovery::RecoverableFile> files);
    };

    explicit RecoveryFileModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the file name; tool tip: the full path, escaped; UserRole: the bucket.
    QVariant data(const QModelIndex& index, int role) const override;

    void setListing(Listing listing);
    // Rows whose path, in lower case, holds the query in lower case; an empty query shows all.
    void setQuery(const QString& query);

    const QList<WorkRecovery::RecoverableFile>& entries() const { return m_listing.files; }
    const WorkRecovery::RecoverableFile& file(int row) const { return m_listing.files.at(m_rows.at(row)); }
    QList<WorkRecovery::RecoverableFile> shown() const;
    // The row showing this bucket, or -1 when the filter hides it or it is not listed.
    int rowOf(const QString& bucket) const;
    // The listed file of this bucket, or null.
    const WorkRecovery::RecoverableFile* find(const QString& bucket) const;

private:
    void filter();

    Listing m_listing;
    QString m_query;
    QList<int> m_rows;           // indices into m_listing.files, in order
    QHash<QString, int> m_index;  // bucket -> index into m_listing.files
};
