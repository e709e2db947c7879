// Qt's headers come before any of X11's, whose macros (Bool, Status) break them.
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "screen_support.h"
#include "support/child_process.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace screen {
namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The child's environment: ours, with the additions replacing variables of the same name.
std::vector<std::string> Environment(const std::vector<std::string>& add) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& a : add) replaced |= a.substr(0, a.find('=')) == name;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), add.begin(), add.end());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

unsigned long Property(Display* d, Window w, const char* name, Atom type) {
  Atom atom = XInternAtom(d, name, True);
  if (atom == None) return 0;
  Atom actual;
  int format;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  unsigned long value = 0;
  if (XGetWindowProperty(d, w, atom, 0, 1, False, type, &actual, &format, &items, &after, &data) == Success &&
      data && items == 1 && format == 32)
    value = *reinterpret_cast<unsigned long*>(data);
  if (data) XFree(data);
  return value;
}

std::string Title(Display* d, Window w) {
  char* name = nullptr;
  std::string title;
  if (XFetchName(d, w, &name) && name) title = name;
  if (name) XFree(name);
  return title;
}

// The top-level windows: without a window manager, the children of the root window.
std::vector<Window> TopLevels(Display* d) {
  Window root = DefaultRootWindow(d), parent, *children = nullptr;
  unsigned int n = 0;
  std::vector<Window> out;
  if (XQueryTree(d, root, &root, &parent, &children, &n)) out.assign(children, children + n);
  if (children) XFree(children);
  return out;
}

int Channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  return static_cast<int>(((pixel >> shift) & mask) * 255 / mask);
}

// Windows come and go while the tests look at them (a menu closes, a window is remapped): a
// request about a window that is gone fails, and is answered as "no such window".
int IgnoreError(Display*, XErrorEvent*) { return 0; }

}  // namespace

int Picture::Count(const std::function<bool(int, int, int)>& keep) const {
  int n = 0;
  for (std::uint32_t p : pixels) n += keep((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) ? 1 : 0;
  return n;
}

int Picture::RowsWith(const std::function<bool(int, int, int)>& keep) const {
  int rows = 0;
  if (pixels.size() != static_cast<size_t>(where.width) * where.height) return 0;
  for (int y = 0; y < where.height; ++y) {
    for (int x = 0; x < where.width; ++x) {
      const std::uint32_t p = pixels[static_cast<size_t>(y) * where.width + x];
      if (keep((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF)) {
        ++rows;
        break;
      }
    }
  }
  return rows;
}

// ---- child processes ----

bool Child::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& log) {
  std::vector<std::string> args = argv, environment = Environment(env);
  std::vector<char*> cargs = Pointers(args), cenv = Pointers(environment);
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  pid_ = fork();
  if (pid_ == 0) {
    // A test that is killed (its ctest time-out) takes its server and programs with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
    }
    execve(cargs[0], cargs.data(), cenv.data());
    _exit(127);
  }
  if (out >= 0) close(out);
  return pid_ > 0;
}

Child::~Child() {
  if (Alive()) Stop(5.0);
}

bool Child::Alive() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  pid_ = -1;
  status_ = status;
  return false;
}

int Child::Stop(double seconds) {
  if (Alive()) {
    kill(pid_, SIGTERM);
    // Killed and reaped when it outlives the bound (-1 then).
    status_ = child_process::WaitForEnd(pid_, seconds);
    pid_ = -1;
  }
  return status_ != -1 && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

// ---- the X server ----

XServer::XServer(int width, int height, const std::string& log) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    problem_ = "no pipe for the display number";
    return;
  }
  // The server's end must survive its exec: only the read end stays close-on-exec.
  const int writeEnd = fcntl(fds[1], F_DUPFD, 10);
  close(fds[1]);
  const std::string geometry = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const bool started = server_.Start({RORIR_XVFB, "-displayfd", std::to_string(writeEnd), "-screen", "0",
                                      geometry, "-nolisten", "tcp", "-noreset"},
                                     {}, log);
  close(writeEnd);
  // Xvfb writes its display number once it accepts clients.
  std::string number;
  const auto start = Clock::now();
  pollfd pfd{fds[0], POLLIN, 0};
  while (started && Since(start) < 15.0 && number.find('\n') == std::string::npos) {
    if (poll(&pfd, 1, 100) <= 0) {
      if (!server_.Alive()) break;
      continue;
    }
    char buf[16];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    problem_ = "Xvfb (" RORIR_XVFB ") gave no display number within 15 s; its output: " + ReadFile(log);
    return;
  }
  name_ = ":" + number.substr(0, number.find('\n'));
  XSetErrorHandler(IgnoreError);
  display_ = XOpenDisplay(name_.c_str());
  if (!display_) {
    problem_ = "cannot connect to Xvfb on " + name_;
    return;
  }
  int event, error, major, minor;
  if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) problem_ = "Xvfb on " + name_ + " has no XTEST";
}

XServer::~XServer() {
  if (display_) XCloseDisplay(display_);
  server_.Stop(5.0);
}

Window XServer::FindWindow(pid_t pid, const std::string& title, double seconds) {
  const auto start = Clock::now();
  do {
    for (Window w : TopLevels(display_)) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable || a.override_redirect) continue;
      if (Property(display_, w, "_NET_WM_PID", XA_CARDINAL) == static_cast<unsigned long>(pid) &&
          Title(display_, w) == title)
        return w;
    }
    Sleep(0.1);
  } while (Since(start) < seconds);
  return 0;
}

std::vector<Window> XServer::PopupWindows(pid_t pid) {
  std::vector<Window> out;
  for (Window w : TopLevels(display_)) {
    XWindowAttributes a;
    if (XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable && a.override_redirect &&
        Property(display_, w, "_NET_WM_PID", XA_CARDINAL) == static_cast<unsigned long>(pid))
      out.push_back(w);
  }
  return out;
}

Rect XServer::Geometry(Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display_, w, &a)) return {};
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
  return {x, y, a.width, a.height};
}

void XServer::Click(int x, int y, int button) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XSync(display_, False);
  Sleep(0.05);
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
  XSync(display_, False);
  Sleep(0.05);
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
  XSync(display_, False);
}

void XServer::Key(unsigned long keysym, bool control) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  const KeyCode ctrl = XKeysymToKeycode(display_, XK_Control_L);
  if (control) XTestFakeKeyEvent(display_, ctrl, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, False, CurrentTime);
  if (control) XTestFakeKeyEvent(display_, ctrl, False, CurrentTime);
  XSync(display_, False);
  Sleep(0.05);
}

void XServer::Type(const std::string& text) {
  for (char ch : text) {
    const char name[2] = {ch, 0};
    Key(XStringToKeysym(name));
  }
}

Picture XServer::Grab(const Rect& region) {
  Picture p;
  p.where = region;
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), region.x, region.y,
                            static_cast<unsigned>(region.width), static_cast<unsigned>(region.height),
                            AllPlanes, ZPixmap);
  if (!image) return p;
  p.pixels.reserve(static_cast<size_t>(region.width) * region.height);
  for (int y = 0; y < region.height; ++y) {
    for (int x = 0; x < region.width; ++x) {
      const unsigned long px = XGetPixel(image, x, y);
      p.pixels.push_back(static_cast<std::uint32_t>(Channel(px, image->red_mask) << 16 |
                                                    Channel(px, image->green_mask) << 8 |
                                                    Channel(px, image->blue_mask)));
    }
  }
  XDestroyImage(image);
  return p;
}

bool XServer::Screenshot(const std::string& path) {
  const Screen* s = DefaultScreenOfDisplay(display_);
  const Picture p = Grab({0, 0, s->width, s->height});
  if (p.pixels.empty()) return false;
  QImage image(s->width, s->height, QImage::Format_RGB32);
  for (int y = 0; y < s->height; ++y)
    for (int x = 0; x < s->width; ++x) image.setPixel(x, y, p.pixels[static_cast<size_t>(y) * s->width + x]);
  return image.save(QString::fromStdString(path), "PNG");
}

// ---- the panel file ----

Rect PanelGeometry::Control(const std::string& name) const {
  for (const auto& [n, r] : controls)
    if (n == name) return r;
  return {};
}

PanelGeometry ReadPanel(const std::string& path, const std::string& name) {
  PanelGeometry g;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return g;
  const QJsonArray panels = QJsonDocument::fromJson(file.readAll()).object().value("panels").toArray();
  for (const QJsonValue& pv : panels) {
    const QJsonObject panel = pv.toObject();
    if (panel.value("name").toString().toStdString() != name) continue;
    g.width = panel.value("width").toInt();
    g.height = panel.value("height").toInt();
    g.title = panel.value("title").toString().toStdString();
    for (const QJsonValue& cv : panel.value("controls").toArray()) {
      const QJsonObject c = cv.toObject();
      if (c.value("name").toString().isEmpty()) continue;
      g.controls.push_back({c.value("name").toString().toStdString(),
                            {c.value("left").toInt(), c.value("top").toInt(), c.value("width").toInt(),
                             c.value("height").toInt()}});
    }
  }
  return g;
}

// ---- watching the screen ----

std::vector<Picture> GrabAll(XServer& x, const std::vector<Rect>& regions) {
  std::vector<Picture> pictures;
  for (const Rect& r : regions) pictures.push_back(x.Grab(r));
  return pictures;
}

std::vector<bool> DifferWithin(XServer& x, const std::vector<Rect>& regions, const std::vector<Picture>& from,
                               double seconds) {
  std::vector<bool> changed(regions.size(), false);
  const auto start = Clock::now();
  do {
    Sleep(0.2);
    bool all = true;
    for (size_t i = 0; i < regions.size(); ++i) {
      if (!changed[i]) changed[i] = !(x.Grab(regions[i]) == from[i]);
      all = all && changed[i];
    }
    if (all) break;
  } while (Since(start) < seconds);
  return changed;
}

std::vector<bool> ChangedWithin(XServer& x, const std::vector<Rect>& regions, double seconds) {
  return DifferWithin(x, regions, GrabAll(x, regions), seconds);
}

// ---- files ----

std::string MakeTempDir(const char* stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

void RemoveTree(const std::string& dir) {
  std::error_code ignored;
  if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}

std::string ExecutableDir() {
  char path[PATH_MAX] = "";
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  return std::filesystem::path(path).parent_path().string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace screen
