#pragma once

#include "core/AppSettings.h"
#include "core/Result.h"
#include "core/UserDefaults.h"
#include "support/ManualClock.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

// A private settings store for one test.
struct SettingsStore {
    QTemporaryDir dir;
    ManualClock clock;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<AppSettings> settings;

    SettingsStore()
        : defaults(std::make_unique<UserDefaults>(dir.path() + QStringLiteral("/settings.json"))),
          settings(std::make_unique<AppSettings>(*defaults, clock, QLocale(QLocale::English, QLocale::UnitedKingdom)))
    {
    }
};

// Collects one asynchronous result and spins the event loop until it arrives.
template <typename T>
struct Awaited {
    std::optional<Result<T>> value;
    auto callback()
    {
        return [this](Result<T> result) { value.emplace(std::move(result)); };
    }
    bool wait(int ms = 10000) { return QTest::qWaitFor([this] { return value.has_value(); }, ms); }
    const Result<T>& operator*() const { return *value; }
    const Result<T>* operator->() const { return &*value; }
};
