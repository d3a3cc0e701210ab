#pragma once

#include "core/Models.h"
#include "ui/dashboard/RecordListModel.h"

#include <QStyledItemDelegate>

#include <optional>

class ProcessActions;
class QAbstractItemView;

// The Processes tab's rows: one per process of the latest sample, kept by process identity, so
// a new sample repaints a row in place and moves it when its rank changed.
using ProcessItems = RecordListModel<ProcessInfoItem, ProcessInfoItem>;
ProcessItems* makeProcessItems(QObject* parent);

// Draws one process in the six columns of the Processes tab, with its throttle and kill buttons
// (a lock instead for a protected process), and runs those buttons. A press is remembered with
// the process it was on, so a sample that arrives before the release neither loses the click
// nor turns it onto another process.
class ProcessRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    ProcessRow(ProcessActions& actions, QAbstractItemView* view);

    enum class Button { throttle, kill };
    struct Layout {
        QRect pid;
        QRect shield;  // empty unless protected
        QRect name;
        QRect cpu;
        QRect memory;
        QRect statusDot;
        QRect status;
        QRect throttle;  // the two buttons; both empty when protected
        QRect kill;
        QRect lock;  // empty unless protected
        QRect divider;
    };
    static Layout layout(const ProcessInfoItem& process, const QRect& rect);
    static int rowHeight();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ProcessActions& m_actions;
    QAbstractItemView* m_view;
    QObject* m_viewport;
    struct Press {
        ProcessInfoItem process;
        Button button;
    };
    std::optional<Press> m_press;
};
