// The engine, the callback registry, event delivery and the event loop.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QThread>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

#include "display/userint.h"
#include "display/userint_internal.h"
#include "display/utility.h"

namespace userint {
namespace {

// Created by InitCVIRTE and deleted by CloseCVIRTE only: destroying it during static
// destruction would pull widgets out from under Qt in an undefined order.
QApplication* gApp = nullptr;
int gArgc = 1;
char gArgv0[] = "rorir";
char* gArgvStore[] = {gArgv0, nullptr};

std::map<std::string, CtrlCallbackPtr>& CtrlCallbacks() {
  static std::map<std::string, CtrlCallbackPtr> table;
  return table;
}
std::map<std::string, PanelCallbackPtr>& PanelCallbacks() {
  static std::map<std::string, PanelCallbackPtr> table;
  return table;
}

// RunUserInterface's loop, and a quit that arrived before the loop started.
QEventLoop* gMainLoop = nullptr;
bool gQuitPending = false;
int gQuitCode = 0;

// Guards the wait of ProcessSystemEvents. A precise timer: a coarse one may fire early and
// leave the wait blocked until some unrelated event arrives.
QTimer* gWaitGuard = nullptr;
constexpr int kIdleWaitMs = 10;

// Termination signals: the handler only writes a byte; the event loop reads it and delivers
// the close event.
int gSignalPipe[2] = {-1, -1};
int gSignalPanel = 0;
QSocketNotifier* gSignalNotifier = nullptr;

void OnTerminationSignal(int) {
  const char byte = 1;
  ssize_t ignored = write(gSignalPipe[1], &byte, 1);
  (void)ignored;
}

}  // namespace

std::map<int, std::unique_ptr<Panel>>& Panels() {
  static std::map<int, std::unique_ptr<Panel>> panels;
  return panels;
}

Panel* FindPanel(int handle) {
  auto it = Panels().find(handle);
  return it == Panels().end() ? nullptr : it->second.get();
}

Control* FindControl(int panel, int control) {
  Panel* p = FindPanel(panel);
  if (!p) return nullptr;
  auto it = p->controls.find(control);
  return it == p->controls.end() ? nullptr : it->second.get();
}

CtrlCallbackPtr LookupCtrlCallback(const std::string& name) {
  auto it = CtrlCallbacks().find(name);
  return it == CtrlCallbacks().end() ? nullptr : it->second;
}

PanelCallbackPtr LookupPanelCallback(const std::string& name) {
  auto it = PanelCallbacks().find(name);
  return it == PanelCallbacks().end() ? nullptr : it->second;
}

void PostCtrlEvent(int panel, int control, int event, int data1, int data2) {
  // Delivered from the event loop rather than from inside the widget's own handler, so a
  // callback that runs a long loop never sits inside Qt's mouse or key handling.
  QMetaObject::invokeMethod(
      qApp,
      [=] {
        Control* c = FindControl(panel, control);
        if (c && c->callback) c->callback(panel, control, event, c->callbackData, data1, data2);
      },
      Qt::QueuedConnection);
}

void PostPanelEvent(int panel, int event) {
  QMetaObject::invokeMethod(
      qApp,
      [=] {
        Panel* p = FindPanel(panel);
        if (p && p->callback) p->callback(panel, event, nullptr, 0, 0);
      },
      Qt::QueuedConnection);
}

bool IsOffscreen() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

}  // namespace userint

using namespace userint;

int InitCVIRTE(int argc, char** argv) {
  if (gApp) return 1;
  if (QCoreApplication::instance()) return 1;
  if (argc > 0 && argv) {
    // Qt keeps references to argc and argv for the life of the application.
    static int keptArgc;
    keptArgc = argc;
    gApp = new QApplication(keptArgc, argv);
  } else {
    gApp = new QApplication(gArgc, gArgvStore);
  }
  QApplication::setQuitOnLastWindowClosed(false);
  QGuiApplication::setDesktopFileName("rorir");
  char icon[260];
  if (FindResourceFile("rorir.png", icon) == 0) {
    QApplication::setWindowIcon(QIcon(QString::fromLocal8Bit(icon)));
  }
  gWaitGuard = new QTimer(gApp);
  gWaitGuard->setSingleShot(true);
  gWaitGuard->setTimerType(Qt::PreciseTimer);
  return 1;
}

int CloseOnTerminationSignals(int panel) {
  if (!gApp) return UIE_NOT_INITIALISED;
  if (!FindPanel(panel)) return UIE_BAD_PANEL;
  gSignalPanel = panel;
  if (gSignalPipe[0] < 0) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0) return -1;
    gSignalNotifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, gApp);
    QObject::connect(gSignalNotifier, &QSocketNotifier::activated, [] {
      char buf[16];
      while (read(gSignalPipe[0], buf, sizeof buf) > 0) {
      }
      if (FindPanel(gSignalPanel)) PostPanelEvent(gSignalPanel, EVENT_CLOSE);
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
  }
  return 0;
}

void CloseCVIRTE(void) {
  while (!Panels().empty()) DiscardPanel(Panels().begin()->first);
  if (gSignalPipe[0] >= 0) {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
    delete gSignalNotifier;
    gSignalNotifier = nullptr;
    close(gSignalPipe[0]);
    close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
  }
  delete gApp;
  gApp = nullptr;
  gWaitGuard = nullptr;
}

void RegisterCtrlCallback(const char* name, CtrlCallbackPtr fn) {
  if (name) CtrlCallbacks()[name] = fn;
}

void RegisterPanelCallback(const char* name, PanelCallbackPtr fn) {
  if (name) PanelCallbacks()[name] = fn;
}

int RunUserInterface(void) {
  if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
  if (gQuitPending) {
    gQuitPending = false;
    return gQuitCode;
  }
  QEventLoop loop;
  QEventLoop* outer = gMainLoop;
  gMainLoop = &loop;
  loop.exec();
  gMainLoop = outer;
  gQuitPending = false;
  return gQuitCode;
}

int QuitUserInterface(int code) {
  gQuitCode = code;
  if (gMainLoop) {
    gMainLoop->exit(code);
  } else {
    gQuitPending = true;
  }
  return 0;
}

int ProcessSystemEvents(void) {
  if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
  QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
  if (!dispatcher) return UIE_NOT_INITIALISED;
  if (dispatcher->processEvents(QEventLoop::AllEvents)) return 0;
  // Nothing was pending: sleep until the next event instead of letting the caller's polling
  // loop spin. Serial data, the operator and every timer wake the wait at once; the guard only
  // bounds how late a loop notices that time alone has passed (a time-out, a record interval).
  // Each wake-up costs tens of microseconds of kernel time on its own, so the guard is a few
  // milliseconds rather than one: a loop waiting on a silent line then stays under 1% of a core.
  gWaitGuard->start(kIdleWaitMs);
  dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  gWaitGuard->stop();
  return 0;
}
