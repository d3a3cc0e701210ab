#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

// One applied profile, as the settings window lists it.
struct ProfileSwitchEvent {
    QUuid id;
    QString from;
    QString to;
    QString reason;
    QDateTime timestamp;
};
