#pragma once

#include "core/Result.h"

// The system's record of whether the application starts when the user logs in.
class LoginItemService {
public:
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItemService() = default;
    virtual Status status() const = 0;
    virtual ::Status registerItem() = 0;
    virtual ::Status unregisterItem() = 0;
    // Whether something of ours still starts at login, even when status() is not enabled (an
    // older install's entry): turning the setting off must still remove it.
    virtual bool startsAtLogin() const { return status() == Status::enabled; }
    // Whether the desktop turned our login item off (the user did, in its session settings).
    virtual bool turnedOffByDesktop() const { return false; }
};
