// SIGTERM, SIGINT and SIGHUP as the program receives them: blocked in every
// thread (BlockSignals, thread.h) and read from a signalfd by a thread of
// the watch, which hands each to the route set for it.
//
// The window program routes them to the end of the session for the thread
// that runs its windows; in service mode the service dispatcher sets its own
// route (the stop request) when it takes over, and a signal read while no
// route is set waits for the next one.
#pragma once

#include <functional>

namespace platform {

// What becomes of a signal read (signo: SIGTERM, SIGINT or SIGHUP). Called
// on the watch's thread, or on the thread that sets the route for the
// signals that waited for it.
using SignalRoute = std::function<void(int signo)>;

// Starts reading the three signals, on the first line of main after
// BlockSignals (before anything can show a box). Later calls do nothing.
// False when the signalfd or the thread cannot be made.
bool StartSignalWatch();
// Stops the watch's thread (at the end of main); the signals stay blocked
// and a later one stays pending.
void StopSignalWatch();
// The route of every signal read from now on, replacing the one before;
// nullptr: signals wait. Signals that waited go to the new route, in the
// order they came, before this returns.
void SetSignalRoute(SignalRoute route);

}  // namespace platform
