#include "platform/sys/events.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <utility>

#include "platform/sys/utility.h"

namespace {

// The application of a program without a window; the user interface makes its own.
QCoreApplication* gOwnApp = nullptr;
int gArgc = 1;
char gArgv0[] = "rorir";
char* gArgvStore[] = {gArgv0, nullptr};

// Guards the sleep of a pass. A precise timer: a coarse one may fire early and leave the wait
// blocked until some unrelated event arrives. Made with the application and gone with it.
QPointer<QTimer> gWaitGuard;
constexpr int kIdleWaitMs = 10;
constexpr int kLongestSleepMs = 3600000;

// Calls posted and run so far: tells a pass whether one of ours ran and it need not sleep.
unsigned long gHandled = 0;
unsigned long gEventPasses = 0;
int gCallsRunning = 0;

QTimer* WaitGuard() {
  if (!gWaitGuard) {
    gWaitGuard = new QTimer(QCoreApplication::instance());
    gWaitGuard->setSingleShot(true);
    gWaitGuard->setTimerType(Qt::PreciseTimer);
  }
  return gWaitGuard;
}

// Runs every posted event, explicitly: the callback that runs the caller's loop was itself
// delivered from a pass over the posted events, and glib's dispatcher does not start a nested
// pass over them, so without this the window's repaint requests and queued clicks would stay
// held until the loop ends. True when one of ours ran.
bool SendPosted() {
  const unsigned long handled = gHandled;
  QCoreApplication::sendPostedEvents();
  return gHandled != handled;
}

// Runs what is pending; when nothing is, sleeps until the next event or for `ms` milliseconds
// (0: no sleep), and runs that event and what it posted. One look at the descriptors a pass:
// a waiting dispatcher runs what is already pending without sleeping.
int Pass(int ms) {
  QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
  if (!QCoreApplication::instance() || !dispatcher) return -1;
  ++gEventPasses;
  if (SendPosted()) return 0;
  if (ms <= 0) {
    dispatcher->processEvents(QEventLoop::AllEvents);
  } else {
    QTimer* guard = WaitGuard();
    guard->start(ms);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    guard->stop();
  }
  SendPosted();
  return 0;
}

}  // namespace

int InitEventLoop(int argc, char** argv) {
  if (QCoreApplication::instance()) return 1;
  if (argc > 0 && argv) {
    // Qt keeps references to argc and argv for the life of the application.
    static int keptArgc;
    keptArgc = argc;
    gOwnApp = new QCoreApplication(keptArgc, argv);
  } else {
    gOwnApp = new QCoreApplication(gArgc, gArgvStore);
  }
  return 1;
}

void CloseEventLoop(void) {
  delete gOwnApp;
  gOwnApp = nullptr;
}

int PostToEventLoop(std::function<void()> call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !call) return -1;
  QMetaObject::invokeMethod(
      app,
      [call = std::move(call)] {
        ++gHandled;
        ++gCallsRunning;
        call();
        --gCallsRunning;
      },
      Qt::QueuedConnection);
  return 0;
}

int PostDeferredCall(void (*fn)(void* data), void* data) {
  if (fn == nullptr) return -1;
  return PostToEventLoop([fn, data] { fn(data); });
}

int CallbackRunning(void) { return gCallsRunning > 0 ? 1 : 0; }

int ProcessSystemEvents(void) {
  // The guard bounds how late a polling loop notices that time alone has passed.
  return Pass(kIdleWaitMs);
}

int ProcessSystemEventsUntil(double deadline) {
  const double left = deadline - Timer();
  // Rounded up: a guard that fires a little before the deadline would only wake the caller to
  // find its time not yet over and sleep again.
  const double ms = left > 0 ? std::ceil(left * 1000.0) : 0.0;
  return Pass(ms > kLongestSleepMs ? kLongestSleepMs : static_cast<int>(ms));
}

unsigned long EventPassCount(void) { return gEventPasses; }

namespace {

// The stop signals reach the loop through a pipe: the signal handler may only write a byte,
// the notifier on the other end wakes the loop and calls the program's handler.
int gSignalPipe[2] = {-1, -1};
void (*gStopHandler)(int) = nullptr;
QPointer<QSocketNotifier> gSignalNotifier;
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnStopSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (gSignalPipe[1] >= 0) (void)!write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

void TakeStopSignals() {
  unsigned char bytes[16];
  for (;;) {
    const ssize_t n = read(gSignalPipe[0], bytes, sizeof bytes);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i)
      if (gStopHandler) gStopHandler(bytes[i]);
  }
}

}  // namespace

int WatchStopSignals(void (*handler)(int signal)) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return -1;
  gStopHandler = handler;
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  if (handler == nullptr) {
    action.sa_handler = SIG_DFL;
    for (int s : kStopSignals) sigaction(s, &action, nullptr);
    return 0;
  }
  if (gSignalPipe[0] < 0) {
    if (pipe2(gSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return -1;
  }
  if (!gSignalNotifier) {
    gSignalNotifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(gSignalNotifier, &QSocketNotifier::activated, app, [] {
      ++gHandled;
      TakeStopSignals();
    });
  }
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;
  for (int s : kStopSignals) sigaction(s, &action, nullptr);
  return 0;
}
