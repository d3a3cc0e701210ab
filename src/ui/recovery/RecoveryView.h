#pragma once

#include "guards/WorkRecovery.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class Clock;
class QLabel;
class QLineEdit;
class QListView;
class QMessageBox;
class QStackedWidget;
class RecoveryFileModel;
class RecoveryRevisionModel;
class TavrilonSecondaryButton;
class ThemeManager;
class WrappedTextView;

// The recovery browser: the files Work Guard holds revisions of, with a filter, on the left;
// the selected file's revisions with "Show in Files" and "Restore…" on the right. The store is
// read and restored from on worker threads; each listing fills the list once, as one model
// reset, and only the rows in sight are painted. A restore asked for while a listing runs waits
// for it, with the button showing that it does.
class RecoveryView final : public QWidget {
    Q_OBJECT
public:
    struct Deps {
        const WorkRecovery& recovery;
        const Clock& clock;
        ThemeManager& themes;
        // Shows one file selected in the file manager.
        std::function<void(const QString&)> revealFile;
    };

    explicit RecoveryView(Deps deps, QWidget* parent = nullptr);
    ~RecoveryView() override;

    static inline const QString windowTitleText = QStringLiteral("Work Guard \u2014 Recovery");
    static inline const QString emptyText = QStringLiteral("No snapshots yet. WorkGuard takes them automatically.");
    static inline const QString selectText = QStringLiteral("Select a file on the left to see its revisions.");
    static inline const QString restoreText = QStringLiteral("Restore\u2026");
    static inline const QString restoringText = QStringLiteral("Restoring\u2026");
    static inline const QString loadingText = QStringLiteral("Loading\u2026");

    QList<WorkRecovery::RecoverableFile> filteredEntries() const;
    void reload();
    void loadRevisions();
    void restoreSelected(bool force);
    void revealSelected();

    void setQuery(const QString& query);
    void selectBucket(const std::optional<QString>& bucket);
    void selectRevision(const std::optional<QString>& revision);

    const QList<WorkRecovery::RecoverableFile>& entries() const;
    const QList<WorkRecovery::SnapshotRevision>& revisions() const;
    std::optional<QString> selectedBucket() const { return m_selectedBucket; }
    std::optional<QString> selectedRevision() const { return m_selectedRevision; }
    std::optional<QString> restoreMessage() const { return m_restoreMessage; }
    // Whether a listing is being read.
    bool isLoading() const { return m_listLoading || m_revisionLoads > 0; }
    // Whether listing or restoring work is running or waiting.
    bool isBusy() const { return isLoading() || m_restoring || m_pendingRestore.has_value(); }
    // A restore asked for while a listing runs, waiting for it.
    bool isRestorePending() const { return m_pendingRestore.has_value(); }

    QLineEdit* filterField() const { return m_filter; }
    QListView* fileList() const { return m_fileList; }
    RecoveryFileModel* fileModel() const { return m_files; }
    QListView* revisionList() const { return m_revisionList; }
    TavrilonSecondaryButton* restoreButton() const { return m_restore; }
    TavrilonSecondaryButton* revealButton() const { return m_reveal; }
    TavrilonSecondaryButton* refreshButton() const { return m_refresh; }
    QString footerText() const;
    // The status line as shown, in full.
    QString statusText() const;
    // The right pane's placeholder text, or empty when the revisions show.
    QString placeholderText() const;
    // The newer-file alert while it is open.
    QMessageBox* alert() const;

    static QString dateText(const QDateTime& date);

protected:
    void showEvent(QShowEvent* event) override;

private:
    template <typename T>
    void runAsync(std::function<T()> work, std::function<void(T)> done);
    void startListing();
    void handleRestore(const WorkRecovery::RestoreResult& result);
    void runPendingRestore();
    void applyColorScheme();
    void showSelectionInList();
    void refreshDetail();
    void refreshRevisionSelection();
    void refreshButtons();

    Deps m_d;
    std::optional<QString> m_selectedBucket;
    std::optional<QString> m_selectedRevision;
    std::optional<QString> m_restoreMessage;
    bool m_listLoading = false;
    bool m_listAgain = false;     // a reload asked for while one runs: read once more after it
    int m_revisionLoads = 0;
    quint64 m_revisionLoad = 0;   // a slower, earlier load does not overwrite a later one
    bool m_restoring = false;
    std::optional<bool> m_pendingRestore;  // its force flag
    bool m_filling = false;       // list selection changes made by the view itself

    RecoveryFileModel* m_files = nullptr;
    RecoveryRevisionModel* m_revisions = nullptr;
    QLineEdit* m_filter = nullptr;
    QLabel* m_glass = nullptr;
    QListView* m_fileList = nullptr;
    QLabel* m_footer = nullptr;
    QLabel* m_loading = nullptr;
    TavrilonSecondaryButton* m_refresh = nullptr;
    QStackedWidget* m_right = nullptr;
    QLabel* m_trayIcon = nullptr;
    QLabel* m_placeholder = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_path = nullptr;
    QListView* m_revisionList = nullptr;
    WrappedTextView* m_message = nullptr;
    TavrilonSecondaryButton* m_reveal = nullptr;
    TavrilonSecondaryButton* m_restore = nullptr;
    QPointer<QMessageBox> m_alert;
};
