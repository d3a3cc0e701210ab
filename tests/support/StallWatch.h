#pragma once

// Window tests run under the main-loop watchdog: a test during which the main thread stalled
// (an event or marked piece of work longer than the watchdog's bound) fails, naming each stall.
namespace stall_watch {

// Registered by the test entry of the window suites.
void installListener();

// Fails the current test at this point if a stall happened since the test began or since the
// last check, and forgets those stalls. For a test that wants the failure where it happened.
void expectNoStall(const char* where);

}  // namespace stall_watch
