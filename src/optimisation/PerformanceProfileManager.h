#pragma once

#include "optimisation/ProfileService.h"

class UserDefaults;

// Performance profiles. Until the profile engine lands this only knows the active profile
// stored under "veltranmoor_active_profile"; applying a mode changes nothing yet.
class PerformanceProfileManager final : public ProfileService {
public:
    explicit PerformanceProfileManager(UserDefaults& defaults) : m_defaults(defaults) {}
    static PerformanceProfileManager& shared();

    PerformanceMode activeProfile() const override;
    void applyMode(PerformanceMode mode) override;
    // Makes the mode active and stores it; applying its values waits for the profile engine.
    void switchProfile(PerformanceMode mode) override;

private:
    UserDefaults& m_defaults;
};
