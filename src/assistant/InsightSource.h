#pragma once

#include <QList>
#include <QString>

// The learning engine's published findings, as the assistant reads them (main thread).
struct InsightItem {
    enum class Severity { info, warning, critical };
    Severity severity = Severity::info;
    QString title;
    QString detail;
};

class InsightSource {
public:
    virtual ~InsightSource() = default;
    // Newest first.
    virtual QList<InsightItem> insights() const = 0;
};
