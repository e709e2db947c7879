// The main panel on the screens of production lines: every control and the status line lie
// inside the screen's free area. Each screen is a process of its own (the platform's screen is
// fixed when the engine starts), described to the offscreen platform by a configuration file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/ui_helpers.h"

namespace {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool Inside(const Rect& o) const { return x >= o.x && y >= o.y && x + w <= o.x + o.w && y + h <= o.y + o.h; }
};

// Runs the child on a screen of `width` x `height` device pixels at `scale`; returns the free
// area and the shown controls by name.
std::map<std::string, Rect> PanelOnScreen(const std::string& dir, int width, int height,
                                          const char* scale) {
  const std::string config = dir + "/screen-" + std::to_string(width) + "x" + std::to_string(height) + ".json";
  std::ofstream(config) << "{\"screens\": [{\"name\": \"line\", \"x\": 0, \"y\": 0, \"width\": " << width
                        << ", \"height\": " << height << ", \"logicalDpi\": 96, \"dpr\": 1}]}";
  const std::string command = "QT_QPA_PLATFORM=offscreen:configfile=" + config + " QT_SCALE_FACTOR=" + scale +
                              " '" + BinPath("rorir-fit-child") + "' 2>/dev/null";
  std::map<std::string, Rect> out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char line[256];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream in(line);
    std::string name;
    Rect r;
    if (in >> name >> r.x >> r.y >> r.w >> r.h) out[name] = r;
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

}  // namespace

TEST(PanelFit, EveryControlAndTheStatusLineLieOnTheScreensOfProductionLines) {
  const std::string dir = MakeTempDir();
  ASSERT_FALSE(dir.empty());
  struct Case {
    int width, height;  // device pixels left to the window: the desktop's bars and title bar off
    const char* scale;
    int statusWidth;    // the status line's width on that screen
  };
  const Case cases[] = {
      {1366, 768 - 40 - 30, "1", 0},
      {1280, 800 - 40 - 30, "1", 0},
      {1920, 1080 - 60 - 45, "1.5", 0},
      {1920, 1200, "1", 1076},  // room enough: the panel keeps its own size
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " + c.scale);
    auto shown = PanelOnScreen(dir, c.width, c.height, c.scale);
    ASSERT_EQ(shown.count("screen"), 1u);
    const Rect screen = shown["screen"];
    for (const char* name : {"TBOXstatus", "BTNStop", "TOGGBTN_Recorder", "BTNRun", "GRAPHvideo"})
      EXPECT_EQ(shown.count(name), 1u) << name;
    for (const auto& [name, r] : shown)
      EXPECT_TRUE(name == "screen" || r.Inside(screen)) << name << " at " << r.x << "," << r.y << " " << r.w << "x" << r.h;
    if (c.statusWidth) {
      EXPECT_EQ(shown["TBOXstatus"].w, c.statusWidth);
    }
  }
  RemoveTree(dir);
}
