#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One row of the maintenance tab's quick fixes.
struct QuickFix {
    // An executable run as the user, with its arguments.
    struct Exec {
        QString path;
        QStringList args;
    };

    QString id;
    QString icon;
    QString title;  // also the target of the action record
    QString subtitle;
    QString actionLabel;
    bool needsAdmin = false;
    QString command;  // shell line run as administrator; empty for user fixes
    // Run as the user when needsAdmin is false. Several entries are alternatives tried in
    // order: a killall that finds no such process (status 1) moves on to the next, so the
    // first running program of the list is the one restarted.
    QList<Exec> userExec;
    // Instead of userExec: programs to stop and start again, the first of them that runs.
    QStringList restartPrograms;
    QString logDetail;
};
