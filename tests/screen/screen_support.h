// What the screen tests need to meet the program as the operator does: a real X server of
// their own, the virtual sensor and the program as child processes on it, the panels' geometry
// from the panel file, clicks and keys through the server, and pictures read back from it.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace screen {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  int centreX() const { return x + width / 2; }
  int centreY() const { return y + height / 2; }
  bool operator==(const Rect& o) const = default;
};

/// What a region of the screen showed at one moment: 0xRRGGBB a pixel, row by row.
struct Picture {
  Rect where;
  std::vector<std::uint32_t> pixels;
  bool operator==(const Picture& o) const = default;
  /// Pixels that `keep` accepts.
  int Count(const std::function<bool(int r, int g, int b)>& keep) const;
  /// Rows that hold at least one pixel that `keep` accepts.
  int RowsWith(const std::function<bool(int r, int g, int b)>& keep) const;
};

/// A child process started with its own environment additions, its output kept in a file.
class Child {
 public:
  Child() = default;
  /// Runs `argv` with `env` ("NAME=value") added to this process's environment and standard
  /// output and error appended to `log`.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& log);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t pid() const { return pid_; }
  bool Alive();
  /// Sends SIGTERM and waits at most `seconds`; returns the exit code, or -1 when it did not
  /// end by itself in time (it is killed then) or ended on a signal.
  int Stop(double seconds);

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

/// Xvfb on a display number it chooses itself (-displayfd), so parallel tests never meet.
class XServer {
 public:
  /// Starts the server with one screen of `width` x `height` at 24 bits and connects to it;
  /// waits at most 15 s for it.
  XServer(int width, int height, const std::string& log);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  Display* display() const { return display_; }
  const std::string& name() const { return name_; }  ///< ":N"
  const std::string& problem() const { return problem_; }

  /// The shown top-level window of process `pid` titled `title`, waited for at most `seconds`;
  /// 0 when none came.
  Window FindWindow(pid_t pid, const std::string& title, double seconds);
  /// The shown override-redirect windows (menus, tooltips) of process `pid`.
  std::vector<Window> PopupWindows(pid_t pid);
  /// A window's rectangle in root coordinates.
  Rect Geometry(Window w);

  /// Moves the pointer to (x, y) and clicks there with `button`; the pointer stays there.
  void Click(int x, int y, int button = 1);
  /// Presses and releases a key, with Control held when `control`.
  void Key(unsigned long keysym, bool control = false);
  /// Types the digits and letters of `text`.
  void Type(const std::string& text);

  /// What the region (root coordinates) shows now.
  Picture Grab(const Rect& region);
  /// Writes the whole screen as a PNG file; false when it could not be written.
  bool Screenshot(const std::string& path);

 private:
  Child server_;
  Display* display_ = nullptr;
  std::string name_;
  std::string problem_;
};

/// A control's rectangle in its panel, from the panel file the program reads.
struct PanelGeometry {
  int width = 0, height = 0;
  std::string title;
  Rect Control(const std::string& name) const;
  std::vector<std::pair<std::string, Rect>> controls;
};
/// The panel `name` of the panel file at `path`; width 0 when it cannot be read.
PanelGeometry ReadPanel(const std::string& path, const std::string& name);

/// For each region, whether it showed a picture other than its picture in `from` within
/// `seconds`; looks every 0.2 s and returns as soon as every region has.
std::vector<bool> DifferWithin(XServer& x, const std::vector<Rect>& regions, const std::vector<Picture>& from,
                               double seconds);
/// The same from the pictures the regions show now: whether each went on changing.
std::vector<bool> ChangedWithin(XServer& x, const std::vector<Rect>& regions, double seconds);
/// What the regions show now.
std::vector<Picture> GrabAll(XServer& x, const std::vector<Rect>& regions);

/// A fresh folder under the temporary folder, and its removal.
std::string MakeTempDir(const char* stem);
void RemoveTree(const std::string& dir);
/// The folder of this executable (the programs and the panel file sit beside it).
std::string ExecutableDir();
/// The whole of a file, or "" when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace screen
