#pragma once

class BatteryLevelSource;
class CacheCleaner;
class DnsFlusher;
class InsightSource;
class MonitorState;
class ProcessStopper;
class ProfileService;

// What the assistant reads and drives of the other engines. The composition root fills it
// with the shared instances; tests fill it with fakes. Everything outlives the actions built
// from it, and everything is used on the main thread.
struct AssistantServices {
    MonitorState& monitor;
    BatteryLevelSource& battery;
    ProfileService& profiles;
    InsightSource& insights;
    CacheCleaner& cleaner;
    DnsFlusher& dns;
    ProcessStopper& processes;
};
