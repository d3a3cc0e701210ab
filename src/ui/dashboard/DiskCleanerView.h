#pragma once

#include "core/Models.h"
#include "ui/dashboard/DiskCleanerModel.h"

#include <QList>
#include <QSet>
#include <QUuid>
#include <QWidget>

#include <cstdint>

class DiskCleaner;
class EpitopeLibrary;
class PerformanceMonitor;
class QAbstractButton;
class SymbolView;
class QMessageBox;
class QPushButton;
class QScrollArea;
class ThemeManager;
class TextView;

// One found location: check mark, category symbol, name over path, size. A click toggles it;
// the Trash's row has no check mark and says where it is emptied instead of its path.
class CleanupTargetRow : public QWidget {
    Q_OBJECT
public:
    CleanupTargetRow(const CleanupTarget& target, bool isSelected, ThemeManager& themes, QWidget* parent = nullptr);
    const CleanupTarget& target() const { return m_target; }
    bool isSelected() const { return m_selected; }
    // The line under the name of a row that cannot be selected (the Trash); null on the others.
    TextView* note() const { return m_note; }
    void setSelected(bool selected);

Q_SIGNALS:
    void toggled();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent*) override;

private:
    CleanupTarget m_target;
    SymbolView* m_check;
    TextView* m_note = nullptr;
    bool m_selected;
    ThemeManager& m_themes;
};

// The Disk tab: scan the cleaner's table, pick what to empty, confirm, and move it to the Trash.
// Scans and moves run on the cleaner's worker; this view only reacts to what it publishes.
class DiskCleanerView : public QWidget {
    Q_OBJECT
public:
    DiskCleanerView(DiskCleaner& cleaner, PerformanceMonitor& monitor, EpitopeLibrary* epitopes, ThemeManager& themes,
                    QWidget* parent = nullptr);

    DiskCleanerModel::Content content() const;
    bool hasScanned() const { return m_hasScanned; }
    const QSet<QUuid>& selectedTargets() const { return m_selected; }
    void toggleSelection(const CleanupTarget& target);
    void startScan(bool fromPrompt);
    // The confirmed clean of the listed, selected targets.
    void cleanSelected();

    QList<CleanupTargetRow*> rows() const;
    QPushButton* scanButton() const { return m_scanButton; }
    QPushButton* selectionButton() const { return m_selectionButton; }
    QPushButton* rescanButton() const { return m_rescanButton; }
    QPushButton* cleanButton() const { return m_cleanButton; }
    // Open while the confirmation is shown.
    QMessageBox* confirmation() const { return m_confirm; }
    TextView* freeText() const { return m_free; }
    TextView* canFreeText() const { return m_canFree; }
    TextView* selectedText() const { return m_selectedText; }
    TextView* freedText() const { return m_freed; }
    QWidget* currentContent() const;

Q_SIGNALS:
    // After a clean has been measured and its rescan has been asked for.
    void cleanFinished(uint64_t bytesMoved);

private:
    void scheduleRefresh();
    void refresh();
    void rebuildList();
    // Rows keep their widgets: a toggle may come from inside the row's own event handler.
    void syncSelection();
    void askToClean();
    void finishClean(const QList<CleanupTarget>& cleaned, const PerformanceSnapshot& before);

    DiskCleaner& m_cleaner;
    PerformanceMonitor& m_monitor;
    EpitopeLibrary* m_epitopes;
    ThemeManager& m_themes;
    QSet<QUuid> m_selected;
    bool m_hasScanned = false;
    bool m_refreshQueued = false;
    std::optional<uint64_t> m_lastFreed;

    TextView* m_title;
    TextView* m_free;
    TextView* m_canFree;
    TextView* m_selectedText;
    TextView* m_freed;
    QWidget* m_prompt;
    QWidget* m_busy;
    TextView* m_busyText;
    QWidget* m_clean;
    QWidget* m_results;
    QScrollArea* m_scroll;
    QWidget* m_listContent = nullptr;
    QPushButton* m_scanButton;
    QPushButton* m_selectionButton;
    QPushButton* m_rescanButton;
    QPushButton* m_cleanButton;
    QMessageBox* m_confirm = nullptr;
};
