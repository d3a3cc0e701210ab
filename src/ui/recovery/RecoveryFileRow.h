#pragma once

#include "guards/WorkRecovery.h"

#include <QStyledItemDelegate>

class Clock;
class ThemeManager;

// Draws one protected file of the recovery list: its name, semibold; its folder, small and
// monospaced, shortened in the middle; a badge with the number of revisions, then the age and
// size of the newest one. Every row has the same height, so the list lays out ten thousand
// rows by arithmetic and paints only those in sight.
class RecoveryFileRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    RecoveryFileRow(ThemeManager& themes, const Clock& clock, QObject* parent = nullptr);

    struct Texts {
        QString name;
        QString folder;
        QString badge;  // "3 revs", "1 rev"
        QString age;
        QString size;
    };
    static Texts texts(const WorkRecovery::RecoverableFile& file, const QDateTime& now);
    static int rowHeight();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ThemeManager& m_themes;
    const Clock& m_clock;
};
