#include "support/StallWatch.h"

#include "core/MainLoopWatchdog.h"

#include <gtest/gtest.h>

namespace stall_watch {

namespace {

class Listener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { MainLoopWatchdog::instance().takeStalls(); }
    // End events reach the listeners last-added first, so this runs before the result printer
    // and the test is reported failed with its stalls listed.
    void OnTestEnd(const ::testing::TestInfo&) override { expectNoStall("the test"); }
};

}  // namespace

void installListener()
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new Listener);
}

void expectNoStall(const char* where)
{
    const QList<MainLoopWatchdog::Stall> stalls = MainLoopWatchdog::instance().takeStalls();
    if (stalls.isEmpty()) return;
    ADD_FAILURE() << "The main thread stalled longer than " << MainLoopWatchdog::instance().boundMs()
                  << " ms during " << where << ":\n"
                  << MainLoopWatchdog::describe(stalls).toStdString();
}

}  // namespace stall_watch
