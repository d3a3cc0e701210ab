#pragma once

#include "core/Models.h"
#include "ui/dashboard/ActionHistoryModel.h"
#include "ui/dashboard/RecordListModel.h"

#include <QHash>
#include <QStyledItemDelegate>
#include <QUuid>

class QAbstractItemView;
class ThemeManager;

// The History tab's rows, newest first, following the monitor's published history.
using ActionHistoryItems = RecordListModel<ActionRecord, QUuid>;
ActionHistoryItems* makeActionHistoryItems(QObject* parent);

// Draws one recorded action: its kind's symbol in the kind's colour, the kind's name with an
// "AUTO" tag when the application acted by itself, target and detail over at most two lines,
// the time and date at the right, and the row's divider below.
class ActionHistoryRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    ActionHistoryRow(ThemeManager& themes, QAbstractItemView* view);

    // Where each part of a row goes in `rect` (the divider included).
    struct Layout {
        QRect icon;
        QRect title;
        QRect tag;  // empty when the action was the user's
        QStringList subtitleLines;
        QRect subtitle;
        QRect time;
        QRect date;
        QRect divider;
    };
    static Layout layout(const ActionHistoryModel::Row& row, const QRect& rect);
    static int height(const ActionHistoryModel::Row& row, int width);
    // What a row's height depends on besides the width.
    struct Measure {
        int subtitleAdvance = 0;
        int timeWidth = 0;
        bool hasTag = false;
    };
    static Measure measure(const ActionHistoryModel::Row& row);
    static int height(const Measure& measure, int width);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ThemeManager& m_themes;
    QAbstractItemView* m_view;
    mutable QHash<QUuid, Measure> m_measures;
};
