// The owner of the line: every exchange with the sensor follows one wait rule, and the commands
// that need the line take their turns, one at a time, in the order they were pressed.
//
// Callbacks still run nested inside the waits (the event loop delivers them there), so a
// command pressed while an exchange, an identification or a loop holds the line is queued, not
// run: it is taken once the line is free, or between two exchanges of a running loop.
#pragma once

// ---- the exchange rule ----

/// How a wait for the sensor ended.
constexpr int EXCHANGE_ANSWERED = 1;   ///< the answer is in
constexpr int EXCHANGE_TIMED_OUT = 0;  ///< its time passed, or the port's device went away
/// The port was closed meanwhile or another one is in use (the panel closed, a port change):
/// the exchange says nothing, so the outcome of whatever closed the port stands.
constexpr int EXCHANGE_ABANDONED = -1;

/// 1 when the program closed `port` or uses another one now: an exchange on it says nothing.
int PortAbandoned(int port);

/// Readies `port` for a request: whatever was written before leaves the wire first (a flush
/// would cut it), then both queues are emptied.
void ClearQueues(int port);

/// Waits for the frame that answers the request sent on `port` at `start` (the receive
/// callback raises rx_flag), for at most `timeout` seconds. The answer is tested before the
/// clock: one that came in during the last pass over the events counts.
int AwaitFrame(int port, double start, double timeout);

/// Waits until `count` bytes wait in the input queue of `port` (block answers, read with the
/// receive callback removed), for at most `timeout` seconds from `start`. `*waiting` gets the
/// count seen last (negative when the port failed).
int AwaitBytes(int port, int count, double start, double timeout, int* waiting);

/// Waits until Timer() reaches `until` while events are processed, or until stop_flag is set,
/// a command waits for the line, or `port` can no longer be used.
void AwaitTime(int port, double until);

// ---- turns on the line ----

/// How a command that needs the line fits with a running loop.
constexpr int LINE_COMMAND = 0;  ///< runs between two exchanges of a running loop (GET, SEND, TEACH, RESET)
constexpr int LINE_START = 1;    ///< starts a loop (RUN, VIDEO, a recording run): after the running one
/// Ends a running loop before it runs (STOP, a port change, an identification): stop_flag is
/// set at once, so the loop ends after its current exchange.
constexpr int LINE_END = 2;

using LineCommand = void (*)(int argument);

/// Runs `command(argument)` now when the line is free; otherwise queues it, to be taken exactly
/// once, in order, when the line is free or (LINE_COMMAND) between two exchanges of a loop.
void RunOnLine(LineCommand command, int argument, int kind);

/// 1 while an exchange, an identification, a loop or a command holds the line.
int LineBusy(void);

/// For a running loop, between two exchanges: runs the commands that wait, as long as the first
/// of them is a LINE_COMMAND. Returns 1 when the loop must end now (stop_flag set, or a start or
/// an end waits its turn), else 0.
int TakeWaitingCommands(void);

/// Drops every command that waits (the panel closes).
void ForgetWaitingCommands(void);

/// Commands waiting for their turn.
int WaitingCommandCount(void);
