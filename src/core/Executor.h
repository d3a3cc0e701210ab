#pragma once

#include <functional>

// Somewhere to run work off the caller's thread, in submission order.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void async(std::function<void()> work) = 0;
};
