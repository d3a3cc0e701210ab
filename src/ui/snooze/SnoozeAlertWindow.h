#pragma once

#include "guards/SnoozeTypes.h"
#include "platform/OutputVolume.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <optional>

class AlarmSound;
class Clock;
class QKeyEvent;
class QWidget;

// The one full-screen surface through which Snooze Guard interrupts the user: the coloured alert
// for levels 0-4 and the blackout at 5, on the primary screen, above every other window. While it
// is up the keyboard belongs to it alone (an X keyboard grab on this window, so the blackout's own
// editor still takes typing), the alarm sounds every few seconds with the output volume raised to
// full, and Super+Shift+9 dismisses it (three presses within 4 s at the blackout, which also pauses
// the guard). It closes itself a minute after the last alert that reached it. Main thread.
class SnoozeAlertWindow final : public QObject, public SnoozeAlertPresenter {
    Q_OBJECT
public:
    struct Collaborators {
        SnoozePauseControl& guard;
        BlackoutVerdictSource& verdicts;
        OutputVolume& volume;
        AlarmSound& alarm;
        const Clock& clock;
        // The user's first name, which the alert and the blackout address.
        QString addressee;
        std::chrono::milliseconds alarmInterval{4000};
        std::chrono::milliseconds autoDismissAfter{60000};
        // The keyboard grab needs the window mapped: it is tried this often, this many times.
        std::chrono::milliseconds grabRetry{50};
        int grabAttempts = 60;
    };

    static constexpr std::chrono::milliseconds shortcutWindow{4000};

    explicit SnoozeAlertWindow(Collaborators c, QObject* parent = nullptr);
    ~SnoozeAlertWindow() override;

    void show(const QString& reason, int level) override;
    void dismiss() override;

    // One press of the dismissal shortcut.
    void handleDismissShortcut();
    // The blackout's compromise button.
    void acceptCompromise(int minutes);

    bool isShowing() const { return m_showing; }
    bool keyboardLocked() const { return m_keyboardLocked; }
    QWidget* window() const { return m_window; }
    // The alert or blackout view inside the window.
    QWidget* content() const { return m_content; }

    // Super+Shift+9 on the key that types 9 (other modifiers allowed).
    static bool isDismissShortcut(const QKeyEvent& event);

Q_SIGNALS:
    void keyboardLockChanged(bool locked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class VolumeState { untouched, reading, raised, unreadable };

    void updateContent(const QString& reason, int level);
    QWidget* makeRootView(const QString& reason, int level);
    void scheduleAutoDismiss();
    void playAlarmTick();
    void installLockout();
    void tryGrab();
    void removeLockout();
    bool belongsToWindow(QObject* object) const;

    Collaborators m_c;
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_content;
    QPointer<QWidget> m_retired;  // the last window, until its deferred deletion
    QTimer m_soundTimer;
    QTimer m_autoDismissTimer;
    QTimer m_grabTimer;
    int m_grabTries = 0;
    bool m_showing = false;
    bool m_keyboardLocked = false;
    quint64 m_generation = 0;  // one per showing, so late volume readings of an earlier one are dropped
    VolumeState m_volumeState = VolumeState::untouched;
    OutputVolume::Levels m_savedVolume;
    QList<QDateTime> m_dismissShortcutTimestamps;
};
