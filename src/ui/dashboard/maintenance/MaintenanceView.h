#pragma once

#include "actions/LocalSnapshot.h"
#include "actions/QuickFix.h"
#include "actions/WakeAnalysis.h"

#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

class Clock;
class MaintenanceActionRow;
class MaintenanceTools;
class QAbstractButton;
class QMessageBox;
class QScrollArea;
class QTimer;
class QVBoxLayout;
class ScanLineOverlay;
class TextView;
class ThemeManager;
class WrappedTextView;

// One local snapshot: its date and name, and a button that deletes it.
class SnapshotRow : public QWidget {
    Q_OBJECT
public:
    SnapshotRow(const LocalSnapshot& snapshot, const QString& dateText, ThemeManager& themes, QWidget* parent = nullptr);
    const LocalSnapshot& snapshot() const { return m_snapshot; }
    void setEnabledState(bool enabled);
    QAbstractButton* deleteButton() const { return m_delete; }
    TextView* nameView() const { return m_name; }

Q_SIGNALS:
    void deleteRequested();

private:
    LocalSnapshot m_snapshot;
    ThemeManager& m_themes;
    QAbstractButton* m_delete;
    TextView* m_name;
};

// The dashboard's Maintenance tab: the instant fixes, the local snapshots and the sleep and wake
// analysis. Every operation belongs to the shared maintenance tools, which run the system tools
// on their workers and publish on the main thread; this view starts operations, spins and
// disables its buttons while one runs, and turns each outcome into the status line at the top.
class MaintenanceView : public QWidget {
    Q_OBJECT
public:
    MaintenanceView(MaintenanceTools& tools, ThemeManager& themes, const Clock& clock, QWidget* parent = nullptr);

    // The status line: none until an operation finishes.
    const std::optional<QString>& statusMessage() const { return m_statusMessage; }
    bool statusIsError() const { return m_statusIsError; }
    int wakeWindowHours() const { return m_wakeWindowHours; }

    // What the buttons do.
    void resetAudioAction();
    void flushDNSAction();
    void runQuickFixAction(const QuickFix& fix);
    void deleteSnapshotAction(const LocalSnapshot& snapshot);
    void deleteAllSnapshotsAction();
    // The window picker's choice; a new window asks for a new analysis.
    void selectWakeWindow(int hours);

    // The audio row, the DNS row, then one row per quick fix.
    QList<MaintenanceActionRow*> fixRows() const { return m_rows; }
    WrappedTextView* statusLine() const { return m_status; }
    TextView* snapshotCaption() const { return m_snapshotCaption; }
    QAbstractButton* refreshButton() const { return m_refresh; }
    QAbstractButton* deleteAllButton() const { return m_deleteAll; }
    // Open while the delete-all confirmation is shown.
    QMessageBox* deleteAllConfirmation() const { return m_confirm; }
    QList<SnapshotRow*> snapshotRows() const;
    int snapshotDividers() const;
    QWidget* snapshotPlaceholder() const { return m_snapshotPlaceholder; }
    QList<QAbstractButton*> wakeWindowButtons() const { return m_windowButtons; }
    // The placeholder until an analysis exists, then the analysis card.
    QWidget* wakePlaceholder() const { return m_wakePlaceholder; }
    QWidget* wakeCard() const { return m_wakeCard; }
    TextView* wakeFigure() const { return m_wakeFigure; }
    WrappedTextView* wakeSummary() const { return m_wakeSummary; }
    bool wakeFigureGlows() const;
    // "TOP REASONS" and one "reason count" line per row; empty without the block.
    QStringList wakeReasonLines() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildPage();
    void scheduleRefresh();
    void refresh();
    void rebuildSnapshots();
    void rebuildWake();
    void setStatus(const QString& message, bool isError);
    void clearStatus();

    MaintenanceTools& m_tools;
    ThemeManager& m_themes;
    const Clock& m_clock;

    std::optional<QString> m_statusMessage;
    bool m_statusIsError = false;
    int m_wakeWindowHours;
    bool m_refreshQueued = false;
    // Moves "Last flush 2 min. ago" and "ran 5m ago" on while the page is seen.
    QTimer* m_ageTick;

    QScrollArea* m_scroll = nullptr;
    ScanLineOverlay* m_scanLines = nullptr;
    WrappedTextView* m_status = nullptr;
    QList<MaintenanceActionRow*> m_rows;
    TextView* m_snapshotCaption = nullptr;
    QAbstractButton* m_refresh = nullptr;
    QAbstractButton* m_deleteAll = nullptr;
    QMessageBox* m_confirm = nullptr;
    QVBoxLayout* m_snapshotBody = nullptr;
    QWidget* m_snapshotContent = nullptr;
    QWidget* m_snapshotPlaceholder = nullptr;
    QList<QUuid> m_shownSnapshots;
    bool m_snapshotsShown = false;
    QList<QAbstractButton*> m_windowButtons;
    QVBoxLayout* m_wakeBody = nullptr;
    QWidget* m_wakeContent = nullptr;
    QWidget* m_wakePlaceholder = nullptr;
    QWidget* m_wakeCard = nullptr;
    TextView* m_wakeFigure = nullptr;
    WrappedTextView* m_wakeSummary = nullptr;
    QStringList m_wakeReasonLines;
    std::optional<WakeAnalysis> m_shownWake;
    bool m_wakeShown = false;
};
