#pragma once

#include "guards/WorkRecovery.h"

#include <QStyledItemDelegate>

class Clock;
class ThemeManager;

// Draws one revision: a clock symbol in the accent colour, the capture date and time, and below
// it how long ago that was and the revision's size.
class RecoveryRevisionRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    RecoveryRevisionRow(ThemeManager& themes, const Clock& clock, QObject* parent = nullptr);

    struct Texts {
        QString date;
        QString detail;  // "5m ago — 2 KB"
    };
    static Texts texts(const WorkRecovery::SnapshotRevision& revision, const QDateTime& now);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ThemeManager& m_themes;
    const Clock& m_clock;
};
