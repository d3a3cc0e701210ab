#pragma once

#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "support/ManualClock.h"

#include <QTemporaryDir>

#include <memory>

// A private settings store for one test, outside the test's home folder.
struct SettingsStore {
    QTemporaryDir dir;
    ManualClock clock;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<AppSettings> settings;

    SettingsStore()
        : defaults(std::make_unique<UserDefaults>(dir.path() + QStringLiteral("/settings.json"))),
          settings(std::make_unique<AppSettings>(*defaults, clock, QLocale(QLocale::English, QLocale::UnitedStates)))
    {
    }
};
