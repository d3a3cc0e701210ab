#pragma once

#include "core/Result.h"

#include <QString>
#include <functional>

// Every write of the application's own state reports its outcome here. A failure is told once
// per file and reason, however often the write is retried: one console line, and the lost-data
// hook (a desktop notice in the application). The caller keeps running on what it has in memory.
// Safe to call from any thread.
namespace WriteFailureReporter {

// Reports `status` when it is a failure to write `path`; returns it unchanged.
const Status& check(const QString& path, const Status& status);

// Called, outside any lock, the first time a file fails for a reason. Empty to remove.
void setLostDataHook(std::function<void(const QString& path, const QString& reason)> hook);

// Forgets what was reported (tests).
void reset();

}  // namespace WriteFailureReporter
