#pragma once

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

// One step of a maintenance run, as the history file stores it.
struct MaintenanceStep {
    QUuid id = QUuid::createUuid();
    QString name;
    bool succeeded = false;
    QString detail;

    QJsonObject toJson() const;
    // Every key is required; anything missing or of the wrong type gives nullopt.
    static std::optional<MaintenanceStep> fromJson(const QJsonObject& object);

    friend bool operator==(const MaintenanceStep& a, const MaintenanceStep& b) { return a.id == b.id; }
};
