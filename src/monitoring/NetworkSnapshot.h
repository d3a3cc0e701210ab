#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>

// One point of the network history.
struct NetworkSnapshot {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
    double rateIn = 0;   // bytes per second
    double rateOut = 0;  // bytes per second
};

// A row of the per-process connection list the dashboard shows.
struct NetworkProcessInfo {
    QUuid id = QUuid::createUuid();
    QString name;
    int64_t connectionCount = 0;
};
