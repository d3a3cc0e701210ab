#pragma once

#include "guards/WorkRecovery.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class Clock;
class QLabel;
class QLineEdit;
class QListWidget;
class QMessageBox;
class QPushButton;
class QStackedWidget;

// The recovery browser: the files Work Guard holds revisions of, with a filter, on the left;
// the selected file's revisions with "Show in Files" and "Restore…" on the right. Listing and
// restoring run on a worker thread; results come back to the window.
class RecoveryView final : public QWidget {
    Q_OBJECT
public:
    struct Deps {
        const WorkRecovery& recovery;
        const Clock& clock;
        // Shows one file selected in the file manager.
        std::function<void(const QString&)> revealFile;
    };

    explicit RecoveryView(Deps deps, QWidget* parent = nullptr);
    ~RecoveryView() override;

    static inline const QString windowTitleText = QStringLiteral("Work Guard \u2014 Recovery");
    static inline const QString emptyText = QStringLiteral("No snapshots yet. WorkGuard takes them automatically.");
    static inline const QString selectText = QStringLiteral("Select a file on the left to see its revisions.");

    QList<WorkRecovery::RecoverableFile> filteredEntries() const;
    void reload();
    void loadRevisions();
    void restoreSelected(bool force);
    void revealSelected();

    void setQuery(const QString& query);
    void selectBucket(const std::optional<QString>& bucket);
    void selectRevision(const std::optional<QString>& revision);

    const QList<WorkRecovery::RecoverableFile>& entries() const { return m_entries; }
    const QList<WorkRecovery::SnapshotRevision>& revisions() const { return m_revisions; }
    std::optional<QString> selectedBucket() const { return m_selectedBucket; }
    std::optional<QString> selectedRevision() const { return m_selectedRevision; }
    std::optional<QString> restoreMessage() const { return m_restoreMessage; }
    // Whether listing or restoring work is still running.
    bool isBusy() const { return m_busy > 0; }

    QLineEdit* filterField() const { return m_filter; }
    QListWidget* fileList() const { return m_files; }
    QListWidget* revisionList() const { return m_revisionList; }
    QPushButton* restoreButton() const { return m_restore; }
    QPushButton* revealButton() const { return m_reveal; }
    QString footerText() const;
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
    void handleRestore(const WorkRecovery::RestoreResult& result);
    void refreshFiles();
    void refreshDetail();
    void refreshRevisions();
    void refreshButtons();

    Deps m_d;
    QList<WorkRecovery::RecoverableFile> m_entries;
    std::optional<QString> m_selectedBucket;
    QList<WorkRecovery::SnapshotRevision> m_revisions;
    std::optional<QString> m_selectedRevision;
    std::optional<QString> m_restoreMessage;
    QString m_query;
    int m_busy = 0;
    quint64 m_revisionLoad = 0;  // a slower, earlier load does not overwrite a later one
    bool m_filling = false;      // list selection changes made by the view itself

    QLineEdit* m_filter = nullptr;
    QListWidget* m_files = nullptr;
    QLabel* m_footer = nullptr;
    QStackedWidget* m_right = nullptr;
    QLabel* m_placeholder = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_path = nullptr;
    QListWidget* m_revisionList = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_reveal = nullptr;
    QPushButton* m_restore = nullptr;
    QPointer<QMessageBox> m_alert;
};
