#pragma once

#include "monitoring/CacheCleaner.h"

// Stands in until the disk cleaner lands: cleans nothing.
class NoCacheCleaner final : public CacheCleaner {
public:
    QList<CleanupTarget> cleanSafeTargets() override { return {}; }
    QList<CleanupTarget> emergencyCleanup() override { return {}; }
};
