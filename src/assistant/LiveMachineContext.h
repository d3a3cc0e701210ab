#pragma once

#include <QString>

class InsightSource;
class MonitorState;
class ProfileService;

// The plain-text block of the machine's present state that the chats append to their system
// text, so a model answers from the numbers the dashboard shows. Lines joined by "\n", none
// leading or trailing. Reads each published value once; measures and changes nothing.
QString buildLiveMachineContext(const MonitorState& monitor, const ProfileService& profiles,
                                const InsightSource& insights);

// A process's resident memory: "%.1f GB" of MB/1024 from 1024 MB up, else "%.0f MB".
QString formatProcessMemory(double memoryMB);
