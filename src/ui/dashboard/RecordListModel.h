#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QSet>

#include <algorithm>

#include <functional>

// A list model that follows a published list of records by key, touching only what changed: a
// record that arrived is one inserted row, one that went is one removed row, one that moved is
// moved, and the rest keep their rows (and the view keeps its scroll position, hover and press).
template <class T, class Key>
class RecordListModel : public QAbstractListModel {
public:
    using KeyOf = std::function<Key(const T&)>;
    // `sameContent` tells whether a kept record needs repainting; null means records never change.
    explicit RecordListModel(KeyOf keyOf, std::function<bool(const T&, const T&)> sameContent = {},
                             QObject* parent = nullptr)
        : QAbstractListModel(parent), m_keyOf(std::move(keyOf)), m_sameContent(std::move(sameContent))
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_items.size()); }
    QVariant data(const QModelIndex&, int) const override { return {}; }

    const QList<T>& items() const { return m_items; }
    const T& item(int row) const { return m_items.at(row); }
    int rowOf(const Key& key) const
    {
        for (qsizetype i = 0; i < m_items.size(); ++i)
            if (m_keyOf(m_items[i]) == key) return int(i);
        return -1;
    }

    void sync(const QList<T>& wanted)
    {
        if (m_items.isEmpty() || wanted.isEmpty()) {
            if (m_items.isEmpty() && wanted.isEmpty()) return;
            beginResetModel();
            m_items = wanted;
            endResetModel();
            return;
        }
        QHash<Key, qsizetype> wantedKeys;
        wantedKeys.reserve(wanted.size());
        for (qsizetype i = 0; i < wanted.size(); ++i) wantedKeys.insert(m_keyOf(wanted[i]), i);

        // Gone records, bottom up, one range at a time.
        for (qsizetype end = m_items.size() - 1; end >= 0;) {
            if (wantedKeys.contains(m_keyOf(m_items[end]))) {
                --end;
                continue;
            }
            qsizetype first = end;
            while (first > 0 && !wantedKeys.contains(m_keyOf(m_items[first - 1]))) --first;
            beginRemoveRows({}, int(first), int(end));
            m_items.remove(first, end - first + 1);
            endRemoveRows();
            end = first - 1;
        }

        QSet<Key> kept;
        kept.reserve(m_items.size());
        for (const T& item : std::as_const(m_items)) kept.insert(m_keyOf(item));

        // Kept records whose order changed (a new sample re-ranks the processes): one layout
        // change that carries the rows, and any press or hover on them, to their new places.
        QList<T> reordered;
        reordered.reserve(m_items.size());
        for (const T& item : wanted)
            if (kept.contains(m_keyOf(item))) reordered.append(item);
        bool moved = false;
        for (qsizetype i = 0; i < reordered.size() && !moved; ++i) moved = !(m_keyOf(reordered[i]) == m_keyOf(m_items[i]));
        if (moved) {
            Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
            QHash<Key, int> newRow;
            for (qsizetype i = 0; i < reordered.size(); ++i) newRow.insert(m_keyOf(reordered[i]), int(i));
            const QModelIndexList before = persistentIndexList();
            QModelIndexList after;
            after.reserve(before.size());
            for (const QModelIndex& old : before) after.append(index(newRow.value(m_keyOf(m_items[old.row()])), 0));
            // The rows take their new contents too: the layout change repaints them all.
            m_items = reordered;
            changePersistentIndexList(before, after);
            Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        }

        int firstChanged = -1;
        int lastChanged = -1;
        for (qsizetype i = 0; i < wanted.size(); ++i) {
            const Key key = m_keyOf(wanted[i]);
            if (i < m_items.size() && m_keyOf(m_items[i]) == key) {
                if (m_sameContent && !m_sameContent(m_items[i], wanted[i])) {
                    m_items[i] = wanted[i];
                    if (firstChanged < 0) firstChanged = int(i);
                    lastChanged = int(i);
                }
                continue;
            }
            qsizetype from = -1;
            for (qsizetype j = i + 1; j < m_items.size(); ++j)
                if (m_keyOf(m_items[j]) == key) {
                    from = j;
                    break;
                }
            if (from >= 0) {
                beginMoveRows({}, int(from), int(from), {}, int(i));
                m_items.move(from, i);
                endMoveRows();
                if (!m_sameContent || !m_sameContent(m_items[i], wanted[i])) {
                    m_items[i] = wanted[i];
                    const QModelIndex at = index(int(i));
                    Q_EMIT dataChanged(at, at);
                }
                continue;
            }
            // New records arrive in runs (a burst of history entries): one insertion per run.
            qsizetype end = i + 1;
            while (end < wanted.size() && !kept.contains(m_keyOf(wanted[end]))) ++end;
            beginInsertRows({}, int(i), int(end - 1));
            m_items.insert(i, end - i, T{});
            std::copy(wanted.begin() + i, wanted.begin() + end, m_items.begin() + i);
            endInsertRows();
            i = end - 1;
        }
        if (firstChanged >= 0) Q_EMIT dataChanged(index(firstChanged), index(lastChanged));
    }

private:
    KeyOf m_keyOf;
    std::function<bool(const T&, const T&)> m_sameContent;
    QList<T> m_items;
};
