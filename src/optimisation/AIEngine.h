#pragma once

#include "optimisation/AIInsight.h"
#include "optimisation/MemoryLeak.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

// The learning engine's published state as the windows read it (main thread). Until the
// learning engine lands nothing is learned: no insights, no leaks, no forecast, and the
// personality stays "Learning...". The engine publishes through the setters.
class AIEngine : public QObject {
    Q_OBJECT
public:
    explicit AIEngine(QObject* parent = nullptr) : QObject(parent) {}
    static AIEngine& shared();

    // Newest first, at most 50.
    const QList<AIInsight>& insights() const { return m_insights; }
    const QList<MemoryLeak>& detectedLeaks() const { return m_detectedLeaks; }
    const QString& systemPersonality() const { return m_systemPersonality; }
    const std::optional<QDateTime>& predictedDiskFullDate() const { return m_predictedDiskFullDate; }
    int processBaselineCount() const { return m_processBaselineCount; }
    int anomalyCount() const { return m_anomalyCount; }

    void setInsights(QList<AIInsight> insights)
    {
        m_insights = std::move(insights);
        Q_EMIT changed();
    }
    void setDetectedLeaks(QList<MemoryLeak> leaks)
    {
        m_detectedLeaks = std::move(leaks);
        Q_EMIT changed();
    }
    void setSystemPersonality(const QString& text)
    {
        m_systemPersonality = text;
        Q_EMIT changed();
    }
    void setPredictedDiskFullDate(std::optional<QDateTime> date)
    {
        m_predictedDiskFullDate = std::move(date);
        Q_EMIT changed();
    }

Q_SIGNALS:
    void changed();

private:
    QList<AIInsight> m_insights;
    QList<MemoryLeak> m_detectedLeaks;
    QString m_systemPersonality = QStringLiteral("Learning...");
    std::optional<QDateTime> m_predictedDiskFullDate;
    int m_processBaselineCount = 0;
    int m_anomalyCount = 0;
};
