#pragma once

#include "guards/SnoozeTypes.h"

// The camera side of Snooze Guard until the drowsiness detector joins: it never starts, so it
// never reports anything and never counts as denied.
class IdleSnoozeWatcher final : public SnoozeWatcher {
    Q_OBJECT
public:
    using SnoozeWatcher::SnoozeWatcher;
    void start() override {}
    void stop() override {}
    bool isRunning() const override { return false; }
    bool permissionDenied() const override { return false; }

Q_SIGNALS:
    void eventOccurred(const DrowsyEvent& event);
};
