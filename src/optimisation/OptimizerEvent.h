#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>

// One pre-clear of one category; kept in memory for the views.
struct OptimizerEvent {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    QString categoryName;
    uint64_t reclaimedBytes = 0;
    QString why;
    bool automatic = false;
};
