#pragma once

#include "core/Log.h"
#include "guards/SnoozeTypes.h"

#include <algorithm>

// Snooze Guard's alert surface until its window joins: one console line per alert.
class ConsoleSnoozeAlert final : public SnoozeAlertPresenter {
public:
    void show(const QString& reason, int level) override
    {
        Log::line(QStringLiteral("[SnoozeGuard] alert level ") + QString::number(std::clamp(level, 0, 5)) +
                  QStringLiteral(": ") + reason);
    }
    void dismiss() override {}
};
