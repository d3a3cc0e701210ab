#pragma once

#include "optimisation/PerformanceMode.h"

// What start-up needs of the performance profiles: re-apply the active one.
class ProfileService {
public:
    virtual ~ProfileService() = default;
    virtual PerformanceMode activeProfile() const = 0;
    virtual void applyMode(PerformanceMode mode) = 0;
};
