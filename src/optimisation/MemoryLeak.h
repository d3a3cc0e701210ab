#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>

// A process whose resident memory keeps growing.
struct MemoryLeak {
    QUuid id = QUuid::createUuid();
    QString processName;
    int32_t pid = 0;
    double startMemoryMB = 0;
    double currentMemoryMB = 0;
    double growthRateMBPerHour = 0;
    QDateTime firstDetected;
    double confidence = 0;  // 0-1, the quality of the growth fit
};
