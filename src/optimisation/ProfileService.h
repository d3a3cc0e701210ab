#pragma once

#include "optimisation/PerformanceMode.h"

// What start-up and the assistant need of the performance profiles: the active one,
// re-applying it, and switching to another (which makes it active and stores it).
class ProfileService {
public:
    virtual ~ProfileService() = default;
    virtual PerformanceMode activeProfile() const = 0;
    virtual void applyMode(PerformanceMode mode) = 0;
    virtual void switchProfile(PerformanceMode mode) = 0;
};
