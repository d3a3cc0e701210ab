#pragma once

#include "core/Result.h"

#include <functional>

// The maintenance tools' DNS flush, as the assistant starts it: returns at once, the
// completion runs later on the main thread.
class DnsFlusher {
public:
    virtual ~DnsFlusher() = default;
    virtual void flushDNS(std::function<void(Status)> completion) = 0;
};
