#pragma once

#include "core/Models.h"

// The disk cleaner's automatic cleanups, as the sampling engine calls them (off the main
// thread). Each returns the targets it cleaned with the bytes actually moved to the Trash.
class CacheCleaner {
public:
    virtual ~CacheCleaner() = default;
    virtual QList<CleanupTarget> cleanSafeTargets() = 0;
    virtual QList<CleanupTarget> emergencyCleanup() = 0;
};
