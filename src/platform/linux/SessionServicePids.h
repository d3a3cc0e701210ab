#pragma once

#include <QDBusConnection>
#include <QSet>

#include <cstdint>

// The processes the desktop session cannot do without, which this application must never slow
// down: the session bus itself and the notification daemon (whoever owns
// org.freedesktop.Notifications). Asked of the bus at each call, so a restarted daemon is
// found again; a name without an owner adds nothing. Blocking (two bus calls of at most a
// second each): for worker threads.
QSet<int32_t> sessionServicePids(const QDBusConnection& bus = QDBusConnection::sessionBus());
