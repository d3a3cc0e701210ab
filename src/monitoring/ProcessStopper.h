#pragma once

#include "platform/ProcessControl.h"

struct ProcessInfoItem;

// Stopping a process on the user's request: SIGTERM now, SIGKILL 3 s later when it is still
// there, one incident counted for its name. Protected processes are refused; a process that has
// exited (or is another user's, where only the user's own may be reached) is left alone and
// counts nothing.
class ProcessStopper {
public:
    virtual ~ProcessStopper() = default;
    virtual ProcessStatus killProcess(const ProcessInfoItem& item, ProcessOwner owner) = 0;
};
