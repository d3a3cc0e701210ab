#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

// A local file-system snapshot as the snapshot tool lists it.
struct LocalSnapshot {
    QUuid id = QUuid::createUuid();  // new for every listing
    QString name;                    // the snapshot's number, as the tool takes it for deletion
    QDateTime date;                  // UTC
};
