#pragma once

#include "actions/TavrilonAction.h"
#include "optimisation/PerformanceMode.h"

#include <QString>

class CacheCleaner;
class DnsFlusher;
class MonitorState;
struct AssistantServices;

// The six actions the intent parser builds. Building changes nothing; only a caller the
// action gate allowed runs `perform`.
TavrilonAction makeStatusAction(const AssistantServices& services);
// The size (GB) only changes the title: the cleanup is the same for every size.
TavrilonAction makeCleanAction(qint64 sizeGB, const AssistantServices& services);
TavrilonAction makeMemoryReliefAction();
TavrilonAction makeDNSFlushAction(const AssistantServices& services);
// Undo switches back to the profile active now; the metric depends on a temperature reading now.
TavrilonAction makeProfileAction(PerformanceMode mode, const AssistantServices& services);
TavrilonAction makeStopAction(const QString& name, const AssistantServices& services);

// Perform bodies, also used outside the chats (the fleet's clean directive).
QString machineStatusSummary(const MonitorState& monitor);
QString performCacheCleanup(CacheCleaner& cleaner);
// What the cleanup answers when it found nothing to clean.
QString nothingToCleanText();
// The history row of a cleanup the user started (no row when it found nothing).
TavrilonAction::HistoryRow cacheCleanupHistory(const QString& title);
QString performDNSFlush(DnsFlusher& dns);
QString performProfileSwitch(PerformanceMode mode, const AssistantServices& services);
QString performStopProcess(const QString& name, const AssistantServices& services);

// Whether `target` occurs in `name` as whole words ("chrome" in "google chrome helper", not
// "end" in "sendmail"). Both lower-case.
bool containsWholeWords(const QString& name, const QString& target);

QString profileDetail(PerformanceMode mode);
