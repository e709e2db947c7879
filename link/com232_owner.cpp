// The owner of the line: the wait rule of every exchange and the turns of the commands.
#include "link/com232_owner.h"

#include "state/globals.h"
#include "platform/sys/events.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"

namespace {

struct Waiting {
  LineCommand command;
  int argument;
  int kind;
};

// Enough for every command the operator can press while one exchange waits out its time-out;
// a press beyond it is dropped rather than run out of turn.
constexpr int MAX_WAITING = 16;
Waiting waiting[MAX_WAITING];
int waitingHead = 0;
int waitingCount = 0;

// Commands, loops and waits that hold the line now (they nest: a loop runs its commands).
int lineDepth = 0;
bool drainPosted = false;

void Push(const Waiting& w) {
  if (waitingCount == MAX_WAITING) return;
  waiting[(waitingHead + waitingCount) % MAX_WAITING] = w;
  ++waitingCount;
}

Waiting Pop() {
  const Waiting w = waiting[waitingHead];
  waitingHead = (waitingHead + 1) % MAX_WAITING;
  --waitingCount;
  return w;
}

void RunHeld(const Waiting& w) {
  ++lineDepth;
  w.command(w.argument);
  --lineDepth;
}

// Runs what waits, in order, once nothing holds the line any more.
void DrainWaiting() {
  while (lineDepth == 0 && waitingCount > 0) RunHeld(Pop());
}

void DrainLater(void*) {
  drainPosted = false;
  DrainWaiting();
}

// A wait that held the line on its own (not inside a command) may have left commands waiting:
// they run from the event loop, after it.
void ReleaseWait() {
  --lineDepth;
  if (lineDepth == 0 && waitingCount > 0 && !drainPosted) {
    drainPosted = PostDeferredCall(DrainLater, nullptr) == 0;
  }
}

// The common loop of the waits: `answered` before the clock; a lost device ends the wait as
// its time-out would, at once; after the deadline one more pass over the events takes in what
// already arrived (a slow disk or a paused machine must not turn an answer into silence).
template <typename Answered>
int Await(int port, double deadline, Answered answered) {
  ++lineDepth;
  int outcome = EXCHANGE_TIMED_OUT;
  bool lastLook = false;
  for (;;) {
    if (answered()) {
      outcome = EXCHANGE_ANSWERED;
      break;
    }
    if (PortAbandoned(port)) {
      outcome = EXCHANGE_ABANDONED;
      break;
    }
    if (ComPortLost(port)) break;
    if (Timer() > deadline) {
      if (lastLook) break;
      lastLook = true;
      ProcessSystemEventsUntil(0.0);
      continue;
    }
    ProcessSystemEventsUntil(deadline);
  }
  if (outcome == EXCHANGE_TIMED_OUT) NoteTimeout();
  // The answer proves the request arrived: the next flush has nothing of it to wait for.
  if (outcome == EXCHANGE_ANSWERED) ComRequestAnswered(port);
  ReleaseWait();
  return outcome;
}

}  // namespace

int PortAbandoned(int port) { return port != com || (!ComPortUsable(port) && !ComPortLost(port)) ? 1 : 0; }

void ClearQueues(int port) {
  ComDrain(port, TIMEOUT);
  FlushOutQ(port);
  DiscardInQ(port);
}

int AwaitFrame(int port, double start, double timeout) {
  return Await(port, start + timeout, [] { return rx_flag != 0; });
}

int AwaitBytes(int port, int count, double start, double timeout, int* waiting) {
  int seen = 0;
  const int outcome = Await(port, start + timeout, [&] {
    seen = GetInQLen(port);
    return seen >= count;
  });
  if (waiting) *waiting = seen;
  return outcome;
}

void AwaitTime(int port, double until) {
  ++lineDepth;
  while (Timer() < until && stop_flag == 0 && waitingCount == 0 && !PortAbandoned(port) && !ComPortLost(port))
    ProcessSystemEventsUntil(until);
  ReleaseWait();
}

void RunOnLine(LineCommand command, int argument, int kind) {
  if (command == nullptr) return;
  if (kind == LINE_END && stop_flag == 0) stop_flag = 1;
  // A second Stop (its press, key and release each ask) behind the first changes nothing.
  const bool repeated = waitingCount > 0 && kind == LINE_END && [&] {
    const Waiting& last = waiting[(waitingHead + waitingCount - 1) % MAX_WAITING];
    return last.command == command && last.argument == argument;
  }();
  if (!repeated) Push({command, argument, kind});
  // Behind what already waits: a drain posted by a wait that held the line on its own may not
  // have run yet.
  DrainWaiting();
}

int LineBusy(void) { return lineDepth > 0 ? 1 : 0; }

int TakeWaitingCommands(void) {
  while (waitingCount > 0) {
    if (waiting[waitingHead].kind != LINE_COMMAND) {
      if (stop_flag == 0) stop_flag = 1;
      return 1;
    }
    RunHeld(Pop());
  }
  return stop_flag != 0 ? 1 : 0;
}

void ForgetWaitingCommands(void) {
  waitingHead = 0;
  waitingCount = 0;
}

int WaitingCommandCount(void) { return waitingCount; }
