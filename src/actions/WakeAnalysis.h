#pragma once

#include "platform/WakeupSourceReader.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QUuid>

struct WakeEvent {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    QString rawReason;
    QString normalizedReason;
};

struct WakeAnalysis {
    QDateTime windowStart;
    QDateTime windowEnd;
    int totalWakes = 0;
    QList<QPair<QString, int>> topReasons;  // largest count first, at most five
    QString humanSummary;
};

// How much each wake-up source fired across one sleep of this session: the counts read last
// before the machine slept against those read first after it woke.
struct WakeupRise {
    QDateTime before;
    QDateTime after;
    QList<WakeupSource> risen;  // eventCount holds the rise; largest first
};
