#pragma once

// A short alarm played once per call, loud, without blocking the caller.
class AlarmSound {
public:
    virtual ~AlarmSound() = default;
    virtual void play() = 0;
    // Cuts off the alarm that is playing, if any.
    virtual void stop() = 0;
};
