#pragma once

#include "optimisation/ProfileService.h"

#include <QObject>

class UserDefaults;

// Performance profiles. Until the profile engine lands this only knows the active profile
// stored under "veltranmoor_active_profile"; applying a mode changes nothing yet.
// activeProfileChanged() tells the windows to redraw (main thread).
class PerformanceProfileManager final : public QObject, public ProfileService {
    Q_OBJECT
public:
    explicit PerformanceProfileManager(UserDefaults& defaults, QObject* parent = nullptr);
    static PerformanceProfileManager& shared();

    PerformanceMode activeProfile() const override;
    void applyMode(PerformanceMode mode) override;
    // Makes the mode active and stores it; applying its values waits for the profile engine.
    void switchProfile(PerformanceMode mode) override;

Q_SIGNALS:
    void activeProfileChanged();

private:
    UserDefaults& m_defaults;
};
