#pragma once

// Pausing the cloud-sync daemons for a while; they resume by themselves when it runs out.
class CloudSyncPause {
public:
    virtual ~CloudSyncPause() = default;
    virtual void pause(double seconds) = 0;
};
