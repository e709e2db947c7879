// The program's event loop as the instrument logic waits on it: passes over the pending
// events, a sleep until the next event or a deadline, and calls posted to the loop.
//
// Plain C++ interface; the implementation uses Qt Core only, so a program without a window
// (the probe, the gateway) waits the same way the desktop program does.
#pragma once

#include <functional>

/// Sets up an event loop without a window for a program that has none (the user-interface
/// services set up their own). 1 when there is an event loop now.
int InitEventLoop(int argc, char** argv);
/// Ends the event loop InitEventLoop set up (nothing for one set up by the user interface).
void CloseEventLoop(void);

/// Runs every pending event and returns, including events queued before the callback that
/// runs the caller's loop was called (a second click). When nothing is pending it waits for the next event
/// (serial data, the operator, a timer), for at most 10 ms, so a polling loop built on it does
/// not burn a core and still notices within 10 ms that time alone has run out.
int ProcessSystemEvents(void);
/// Runs every pending event as ProcessSystemEvents does; when nothing is pending it sleeps until
/// the next event (serial data, the operator, a timer, a repaint) or until `deadline` (Timer()
/// seconds), whichever comes first, and runs that event. A wait that knows its deadline costs
/// one wake-up per event, not one every few milliseconds.
int ProcessSystemEventsUntil(double deadline);
/// Calls `fn(data)` from the event loop's next pass over the events (like a callback of the
/// operator's, after the events already queued). 0, or negative without an event loop.
int PostDeferredCall(void (*fn)(void* data), void* data);
/// 1 while a call posted to the event loop (a control or panel callback of the program, a
/// deferred call) runs, so work the program starts on its own can wait until the operator's
/// action is over.
int CallbackRunning(void);

/// Queues `call` for the event loop's next pass. Every pass runs what is queued before it
/// sleeps. 0, or negative without an event loop.
int PostToEventLoop(std::function<void()> call);
/// Calls `handler(signal)` from the event loop when the program gets SIGTERM, SIGINT or SIGHUP
/// (the signal itself only wakes the loop: the handler runs as any event does, also inside a
/// wait of the link). A null handler gives the signals back their defaults. 0, or negative
/// without an event loop.
int WatchStopSignals(void (*handler)(int signal));

/// Passes over the events so far (for the tests: a wait that sits out a time-out passes its
/// events a bounded number of times).
unsigned long EventPassCount(void);
