#pragma once

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
