#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Per-process-name incident counts ("process_incidents.json").
class IncidentLedger {
public:
    virtual ~IncidentLedger() = default;
    virtual void recordIncident(const QString& name) = 0;
    // Pairs of name and count, most incidents first.
    virtual QList<QPair<QString, int>> sortedIncidents() const = 0;
};
