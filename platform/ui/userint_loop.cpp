// The engine, the callback registry, event delivery and the event loop.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/userint.h"
#include "userint_internal.h"
#include "platform/sys/events.h"
#include "platform/sys/utility.h"

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


// Termination signals: the handler only writes a byte; the event loop reads it and delivers
// the close event.
int gSignalPipe[2] = {-1, -1};
int gSignalPanel = 0;
QSocketNotifier* gSignalNotifier = nullptr;


// Told of every value change the operator made that reached its control.
ValueChangedHookPtr gValueChangedHook = nullptr;

// Why InitCVIRTE failed, for GetInitError.
std::string gInitError;

void OnTerminationSignal(int) {
  const char byte = 1;
  ssize_t ignored = write(gSignalPipe[1], &byte, 1);
  (void)ignored;
}

// ---- starting without a display ----

// What a platform needs to open a display; empty when it needs none (offscreen, minimal, a
// frame buffer) or the need cannot be judged beforehand.
std::string DisplayMissingFor(const std::string& platform) {
  auto unset = [](const char* name) {
    const char* v = std::getenv(name);
    return !v || !*v;
  };
  if (platform == "xcb") return unset("DISPLAY") ? "DISPLAY is not set" : "";
  if (platform.rfind("wayland", 0) == 0) {
    if (!unset("WAYLAND_DISPLAY")) return "";
    // Without WAYLAND_DISPLAY the client library tries the default socket.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && *runtime && stat((std::string(runtime) + "/wayland-0").c_str(), &st) == 0) return "";
    return "WAYLAND_DISPLAY is not set";
  }
  return "";
}

// The platforms Qt will try, separated by ';': the -platform argument, else QT_QPA_PLATFORM,
// else its default (x11 or wayland, by the desktop session).
std::string PlatformsToTry(int argc, char** argv) {
  std::string platforms;
  for (int i = 1; argv && i + 1 < argc; ++i) {
    if (argv[i] && argv[i + 1] && (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0))
      platforms = argv[i + 1];
  }
  if (platforms.empty()) {
    const char* env = std::getenv("QT_QPA_PLATFORM");
    platforms = env && *env ? env : "xcb;wayland";
  }
  return platforms;
}

// Why no display can be opened, judged before Qt tries (Qt's own failure aborts the process):
// empty when one of the platforms may work.
std::string MissingDisplay(const std::string& platforms) {
  std::string why;
  size_t start = 0;
  while (start <= platforms.size()) {
    size_t end = platforms.find(';', start);
    if (end == std::string::npos) end = platforms.size();
    std::string name = platforms.substr(start, end - start);
    if (size_t colon = name.find(':'); colon != std::string::npos) name.erase(colon);  // options
    if (!name.empty()) {
      const std::string missing = DisplayMissingFor(name);
      if (missing.empty()) return "";
      if (why.empty()) why = missing;
    }
    start = end + 1;
  }
  return why;
}

std::string NoDisplayLine(const std::string& why) {
  return "no display could be opened (" + why +
         "); start it in a desktop session, or with QT_QPA_PLATFORM=offscreen to run it without a screen";
}

// Qt's messages while the application object is built.
struct HeldMessage {
  QtMsgType type;
  QByteArray file, function, category;
  int line;
  QString text;
};
std::mutex gHeldLock;
std::vector<HeldMessage> gHeld;
bool gStarting = false;
std::string gProgramName = "rorir";
std::string gPlatforms;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg && gStarting) {
    // Qt found no platform it could start. Its messages stay unsaid; one line says why and
    // how to run the program, and it ends as a failed start does.
    const char* display = std::getenv("DISPLAY");
    const std::string why = gPlatforms.find("xcb") != std::string::npos && display && *display
                                ? std::string("DISPLAY ") + display + " cannot be reached"
                                : "the platform " + gPlatforms + " did not start";
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", gProgramName.c_str(), NoDisplayLine(why).c_str());
    _exit(255);
  }
  std::lock_guard<std::mutex> lock(gHeldLock);
  gHeld.push_back({type, context.file, context.function, context.category, context.line, text});
}

void ReplayHeldMessages(QtMessageHandler handler) {
  std::vector<HeldMessage> held;
  {
    std::lock_guard<std::mutex> lock(gHeldLock);
    held.swap(gHeld);
    gStarting = false;
  }
  if (!handler) return;
  for (const HeldMessage& m : held) {
    const QMessageLogContext context(m.file.isNull() ? nullptr : m.file.constData(), m.line,
                                     m.function.isNull() ? nullptr : m.function.constData(),
                                     m.category.isNull() ? nullptr : m.category.constData());
    handler(m.type, context, m.text);
  }
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

// A control takes the operator's events while it is usable and shown on a shown panel.
static bool AcceptsEvents(const Control& c) {
  if (c.dimmed || !c.visible) return false;
  const Panel* p = FindPanel(c.panel);
  return p && p->window && p->window->isVisible();
}

// Queues `deliver` for the event loop: every pass over the events runs it before it sleeps.
template <typename F>
static void PostCounted(F deliver) {
  PostToEventLoop(deliver);
}

void PostCtrlEvent(int panel, int control, int event, int data1, int data2) {
  // Delivered from the event loop rather than from inside the widget's own handler, so a
  // callback that runs a long loop never sits inside Qt's mouse or key handling.
  // The operator may have clicked while the program was inside a pause that takes no events;
  // those clicks wait in the queue, and by the time they come out the program may have dimmed
  // their control (RUN dims RUN and VIDEO before its loop starts). Such an event is dropped:
  // delivering it would start a second loop inside the first.
  PostCounted([=] {
    Control* c = FindControl(panel, control);
    if (c && c->callback && AcceptsEvents(*c))
      c->callback(panel, control, event, c->callbackData, data1, data2);
  });
}

void PostValueChange(int panel, int control, double number, const QString& text) {
  Control* now = FindControl(panel, control);
  if (!now) return;
  ++now->queuedChanges;
  const double afterNumber = now->number;
  const QString afterText = now->text;
  PostCounted([=] {
    Control* c = FindControl(panel, control);
    if (!c) return;
    --c->queuedChanges;
    if (AcceptsEvents(*c)) {
      c->undoPending = false;  // the program sees this value
      if (c->callback) c->callback(panel, control, EVENT_VAL_CHANGED, c->callbackData, 0, 0);
      if (gValueChangedHook) gValueChangedHook(panel, control);
      return;
    }
    // Dropped: the value goes back to the last one the program saw, once the last queued
    // change is out and nothing else has set the control since.
    if (!c->undoPending) {
      c->undoPending = true;
      c->undoNumber = number;
      c->undoText = text;
    }
    if (c->queuedChanges > 0) return;
    c->undoPending = false;
    if (c->number != afterNumber || c->text != afterText) return;
    c->number = c->undoNumber;
    c->text = c->undoText;
    RefreshControlWidget(*c);
  });
  PostCtrlEvent(panel, control, EVENT_COMMIT, 0, 0);
}

void PostPanelEvent(int panel, int event) {
  PostCounted([=] {
    Panel* p = FindPanel(panel);
    if (p && p->callback) p->callback(panel, event, nullptr, 0, 0);
  });
}

bool IsOffscreen() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

}  // namespace userint

using namespace userint;

int InitCVIRTE(int argc, char** argv) {
  if (gApp) return 1;
  if (QCoreApplication::instance()) return 1;
  gInitError.clear();
  gPlatforms = PlatformsToTry(argc, argv);
  if (const std::string why = MissingDisplay(gPlatforms); !why.empty()) {
    gInitError = NoDisplayLine(why);
    return 0;
  }
  gProgramName = argc > 0 && argv && argv[0] ? argv[0] : "rorir";
  if (size_t slash = gProgramName.rfind('/'); slash != std::string::npos) gProgramName.erase(0, slash + 1);
  // Qt's messages are held while it opens the display: should it fail after all (a display
  // that is named but cannot be reached), its own fatal path would print several lines and
  // abort; HoldMessage ends the program with the one line instead.
  gStarting = true;
  QtMessageHandler previous = qInstallMessageHandler(HoldMessage);
  if (argc > 0 && argv) {
    // Qt keeps references to argc and argv for the life of the application.
    static int keptArgc;
    keptArgc = argc;
    gApp = new QApplication(keptArgc, argv);
  } else {
    gApp = new QApplication(gArgc, gArgvStore);
  }
  qInstallMessageHandler(previous);
  ReplayHeldMessages(previous);
  QApplication::setQuitOnLastWindowClosed(false);
  QGuiApplication::setDesktopFileName("rorir");
  char icon[PATH_BUFFER_SIZE];
  if (FindResourceFile("rorir.png", icon) == 0) {
    QApplication::setWindowIcon(QIcon(QString::fromLocal8Bit(icon)));
  }
  return 1;
}

const char* GetInitError(void) { return gInitError.c_str(); }

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
}

void RegisterCtrlCallback(const char* name, CtrlCallbackPtr fn) {
  if (name) CtrlCallbacks()[name] = fn;
}

void RegisterPanelCallback(const char* name, PanelCallbackPtr fn) {
  if (name) PanelCallbacks()[name] = fn;
}

void SetValueChangedHook(ValueChangedHookPtr hook) { gValueChangedHook = hook; }

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

unsigned long InspectEventPasses() { return EventPassCount(); }
