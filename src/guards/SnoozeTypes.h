#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <functional>

// Values and seams shared by Snooze Guard, its two watchers and its alert window.

// The camera watcher's verdict. Two events are equal when they are the same case and, for
// drowsy, carry the same reason ("Eyes closed" or "Head dropped").
struct DrowsyEvent {
    enum class Kind { drowsy, awake, noFace };
    Kind kind = Kind::noFace;
    QString reason;  // only for drowsy

    static DrowsyEvent drowsy(const QString& reason) { return {Kind::drowsy, reason}; }
    static DrowsyEvent awake() { return {Kind::awake, {}}; }
    static DrowsyEvent noFace() { return {Kind::noFace, {}}; }
    friend bool operator==(const DrowsyEvent& a, const DrowsyEvent& b)
    {
        return a.kind == b.kind && (a.kind != Kind::drowsy || a.reason == b.reason);
    }
};

// The keyboard watcher's finding: a letter key held past the threshold (released for the
// user), or a key-mash burst, sent with keycode -1 and the burst window as heldFor.
struct StuckKeyEvent {
    qint64 keycode = 0;  // -1: a burst of key mashing
    double heldFor = 0;
    QString label;       // the key's label ("A"), empty when not known
};

// The remote coach's answer at the blackout.
struct BlackoutVerdict {
    QString headline;
    QString detail;
    int grantedExtensionMinutes = 0;
    friend bool operator==(const BlackoutVerdict&, const BlackoutVerdict&) = default;
};

Q_DECLARE_METATYPE(DrowsyEvent)
Q_DECLARE_METATYPE(StuckKeyEvent)
Q_DECLARE_METATYPE(BlackoutVerdict)

// One of Snooze Guard's two watchers as the guard drives and observes it. Implementations emit
// their findings on their own typed signal (DrowsinessDetector::eventOccurred(DrowsyEvent),
// StuckKeyWatcher::eventOccurred(StuckKeyEvent)) on the main thread, and the two change
// signals below on the main thread after each assignment.
class SnoozeWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SnoozeWatcher() override = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual bool permissionDenied() const = 0;
    // Why the last start left the watcher stopped, other than a denied permission; empty when
    // it runs, was never started or was stopped.
    virtual QString failure() const { return {}; }

Q_SIGNALS:
    void isRunningChanged(bool running);
    void permissionDeniedChanged(bool denied);
    void failureChanged();
};

// The full-screen alert surface as the guard uses it. Levels are clamped to 0-5; level 5 shows
// the blackout.
class SnoozeAlertPresenter {
public:
    virtual ~SnoozeAlertPresenter() = default;
    virtual void show(const QString& reason, int level) = 0;
    virtual void dismiss() = 0;
};

// What the alert window needs of the guard: the compromise and the emergency override, and the
// current escalation level.
class SnoozePauseControl {
public:
    virtual ~SnoozePauseControl() = default;
    virtual void grantCompromise(int minutes) = 0;
    virtual void emergencyOverride() = 0;
    virtual qint64 escalationLevel() const = 0;
};

// Asks the remote coach for a verdict; the completion runs exactly once, on any thread.
class BlackoutVerdictSource {
public:
    using Completion = std::function<void(const BlackoutVerdict&)>;
    virtual ~BlackoutVerdictSource() = default;
    virtual void ask(const QString& text, const QString& reason, Completion completion) = 0;
};
