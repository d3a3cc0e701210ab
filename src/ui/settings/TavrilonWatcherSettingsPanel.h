#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class AppSettings;
class QCheckBox;
class QLabel;
class QVBoxLayout;
class TavrilonWatcher;

// The watchers' settings: the switch, the assigned folders as cards (name, path, interval,
// last outcome, unassign) and the button that assigns another folder. It keeps nothing of its
// own: everything shown is read from the settings store, and every change is written back at
// once. Self-contained, so a settings window can host it as a page.
class TavrilonWatcherSettingsPanel : public QWidget {
    Q_OBJECT
public:
    // Asks the user for a folder; nothing when they cancel.
    using FolderChooser = std::function<std::optional<QUrl>(QWidget* parent)>;

    // Without a chooser the desktop's folder dialog is used.
    TavrilonWatcherSettingsPanel(AppSettings& settings, TavrilonWatcher& watcher, FolderChooser chooser = {},
                                 QWidget* parent = nullptr);

    // The "Assign a Tavrilon…" button's action.
    void assignFolder();

    // The intervals the picker offers, in order: label and hours.
    static const QList<std::pair<QString, qint64>>& intervalChoices();
    // "Last: <outcome> · <when>" or "Waiting for first sweep…".
    static QString statusText(const std::optional<QString>& outcome, const std::optional<QDateTime>& at, const QDateTime& now);
    // A date relative to now in words: "now", "2 minutes ago", "yesterday", "last week", "in 3 hours".
    static QString relativeText(const QDateTime& date, const QDateTime& now);

    static FolderChooser desktopFolderChooser();

protected:
    void changeEvent(QEvent* event) override;

private:
    // Colours that follow the host's palette: secondary texts, dividers and symbols.
    void applyPalette(QWidget* root);
    void rebuildCards();
    QWidget* makeCard(const struct TavrilonWatchTarget& target);
    void unassign(const QUuid& id);
    void setInterval(const QUuid& id, qint64 hours);

    AppSettings& m_settings;
    TavrilonWatcher& m_watcher;
    FolderChooser m_chooser;
    QCheckBox* m_enabled = nullptr;
    QLabel* m_emptyHint = nullptr;
    QVBoxLayout* m_cards = nullptr;
    bool m_applyingPalette = false;
};
