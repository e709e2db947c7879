// The program as the operator meets it: the real rorir on a real X server, against the
// virtual sensor, clicked through the server with the pointer left where it clicked, and judged
// by what reached the window. Each test has its own server, sensor, program and data folder.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "screen_support.h"

using namespace screen;

namespace {

// Large enough that the main panel and its window frame fit: the panel is drawn at its own size.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
// Live values change several times a second; a region that shows nothing new within this
// long has stopped being drawn.
constexpr double kChangeWithin = 10.0;

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

bool IsRed(int r, int g, int b) { return r > 180 && g < 90 && b < 90; }

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("rorir-screen");
    ASSERT_FALSE(dir_.empty());
    const std::string bin = ExecutableDir();
    main_ = ReadPanel(bin + "/K-VOR-PX-Rorir-QMBv152.uir", "MAIN");
    recorder_ = ReadPanel(bin + "/K-VOR-PX-Rorir-QMBv152.uir", "POPUP");
    ASSERT_GT(main_.width, 0) << "no MAIN panel in the panel file beside " << bin;
    ASSERT_GT(recorder_.width, 0) << "no POPUP panel in the panel file beside " << bin;
    ASSERT_LE(main_.width, kScreenWidth - 8);
    ASSERT_LE(main_.height, kScreenHeight - 40);

    x_ = std::make_unique<XServer>(kScreenWidth, kScreenHeight, dir_ + "/xvfb.log");
    ASSERT_EQ(x_->problem(), "");

    link_ = dir_ + "/sensor";
    ASSERT_TRUE(sensor_.Start({bin + "/rorir-sensor", "--link", link_}, {}, dir_ + "/sensor.log"));
    for (int i = 0; i < 250 && access(link_.c_str(), F_OK) != 0 && sensor_.Alive(); ++i) Sleep(0.02);
    ASSERT_EQ(access(link_.c_str(), F_OK), 0) << "the virtual sensor made no link: " << ReadFile(dir_ + "/sensor.log");

    dataDir_ = dir_ + "/data";
    ASSERT_TRUE(program_.Start({bin + "/rorir"},
                               {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x_->name(), "RORIR_COM1=" + link_,
                                "RORIR_DATA_DIR=" + dataDir_},
                               dir_ + "/rorir.log"));
    // The window opens once start-up has checked the line and identified the sensor.
    window_ = x_->FindWindow(program_.pid(), main_.title, 30.0);
    ASSERT_NE(window_, 0u) << "no window \"" << main_.title << "\" of the program on " << x_->name()
                           << "; its output: " << ReadFile(dir_ + "/rorir.log");
    origin_ = x_->Geometry(window_);
    // At fit factor 1 the window is the panel's own size, and the file's geometry is the screen's.
    ASSERT_EQ(origin_.width, main_.width);
    ASSERT_EQ(origin_.height, main_.height);
    ASSERT_GE(origin_.x, 0);
    ASSERT_GE(origin_.y, 0);
    ASSERT_LE(origin_.x + origin_.width, kScreenWidth);
    ASSERT_LE(origin_.y + origin_.height, kScreenHeight);
    ASSERT_TRUE(Settled(On(main_, origin_, "TBOXstatus"))) << "the status line was never drawn";
  }

  void TearDown() override {
    if (const char* shots = std::getenv("RORIR_SCREEN_SHOTS"); shots && *shots && x_ && x_->display()) {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      x_->Screenshot(std::string(shots) + "/" + info->name() + ".png");
    }
    // SIGTERM closes the main panel as the close box does: the program ends with 0.
    if (program_.pid() > 0) {
      EXPECT_EQ(program_.Stop(10.0), 0) << ReadFile(dir_ + "/rorir.log");
    }
    if (HasFailure()) std::cerr << "program output:\n" << ReadFile(dir_ + "/rorir.log") << "\n";
    sensor_.Stop(5.0);
    x_.reset();
    RemoveTree(dir_);
  }

  /// A control's rectangle on the screen: the window's origin plus its place in the panel.
  static Rect On(const PanelGeometry& panel, const Rect& window, const std::string& control) {
    Rect r = panel.Control(control);
    EXPECT_GT(r.width, 0) << "no control " << control << " in panel " << panel.title;
    r.x += window.x;
    r.y += window.y;
    return r;
  }
  Rect Main(const std::string& control) const { return On(main_, origin_, control); }

  void ClickOn(const Rect& r) { x_->Click(r.centreX(), r.centreY()); }

  /// Waits (at most 10 s) until the region shows something other than a flat fill and stays
  /// the same over half a second: the window has been drawn and nothing is moving.
  bool Settled(const Rect& r) {
    Picture last = x_->Grab(r);
    for (int i = 0; i < 40; ++i) {
      Sleep(0.25);
      Picture now = x_->Grab(r);
      const std::uint32_t fill = now.pixels.empty() ? 0 : now.pixels[0];
      const bool drawn = now.Count([fill](int red, int green, int blue) {
        return static_cast<std::uint32_t>(red << 16 | green << 8 | blue) != fill;
      }) > 0;
      if (drawn && now == last) return true;
      last = std::move(now);
    }
    return false;
  }

  std::vector<Rect> Main(const std::vector<std::string>& controls) const {
    std::vector<Rect> rects;
    for (const std::string& c : controls) rects.push_back(Main(c));
    return rects;
  }

  /// Expects each region to show a picture other than its picture in `from` within
  /// kChangeWithin, naming each one that did not; true when all did.
  bool EachDiffers(const std::vector<std::string>& names, const std::vector<Rect>& regions,
                   const std::vector<Picture>& from, const std::string& when) {
    const std::vector<bool> changed = DifferWithin(*x_, regions, from, kChangeWithin);
    bool all = true;
    for (size_t i = 0; i < names.size(); ++i) {
      EXPECT_TRUE(changed[i]) << names[i] << " showed the same picture for " << kChangeWithin << " s " << when;
      all = all && changed[i];
    }
    return all;
  }

  std::string dir_, link_, dataDir_;
  PanelGeometry main_, recorder_;
  std::unique_ptr<XServer> x_;
  Child sensor_, program_;
  Window window_ = 0;
  Rect origin_;
};

TEST_F(ScreenTest, RunShowsTheLiveResultsOnTheWindow) {
  // The firmware text gives way to "Line Ok!", the trend replaces the video graph, and the
  // results of the cycle fill the indicators and move the position bar.
  const std::vector<std::string> shown = {"TBOXstatus", "CHARTraw", "NUMledge", "NUMredge", "NUMmvalue2", "GRAPHbar"};
  const std::vector<Rect> regions = Main(shown);
  const std::vector<Picture> before = GrabAll(*x_, regions);
  ClickOn(Main("BTNRun"));
  ASSERT_TRUE(EachDiffers(shown, regions, before, "after RUN was clicked"));
  // And they go on changing with every result.
  const std::vector<std::string> live(shown.begin() + 1, shown.end());
  const std::vector<Rect> liveRegions = Main(live);
  EachDiffers(live, liveRegions, GrabAll(*x_, liveRegions), "while RUN ran");
}

TEST_F(ScreenTest, VideoShowsTheLiveCurveOnTheWindow) {
  const std::vector<std::string> live = {"TBOXstatus", "GRAPHvideo", "NUMmvalue2", "NUMledge"};
  const std::vector<Rect> regions = Main(live);
  const Rect graph = Main("GRAPHvideo");
  const std::vector<Picture> before = GrabAll(*x_, regions);
  // Before the first line the graph holds no curve: at most the flat line of an empty one.
  ASSERT_LT(before[1].RowsWith(IsRed), 10);
  ClickOn(Main("BTNVideo"));
  // The status line alternates between the block texts, each pass draws a new curve and the
  // results of its measure request.
  ASSERT_TRUE(EachDiffers(live, regions, before, "after VIDEO was clicked (the pointer left where it clicked)"));
  // And the curve and the results go on changing. The status line's two texts are shown at the
  // pace of the display, which may meet the same one each time.
  const std::vector<std::string> moving(live.begin() + 1, live.end());
  const std::vector<Rect> movingRegions(regions.begin() + 1, regions.end());
  EachDiffers(moving, movingRegions, GrabAll(*x_, movingRegions), "while VIDEO ran");
  // The red video curve goes up and down between the dark and the bright parts of the line.
  EXPECT_GT(x_->Grab(graph).RowsWith(IsRed), 50) << "no video curve in the video graph";
}

TEST_F(ScreenTest, RecorderRunCountsOnThePopupAndWritesItsFile) {
  ClickOn(Main("TOGGBTN_Recorder"));
  const Window popup = x_->FindWindow(program_.pid(), recorder_.title, 10.0);
  ASSERT_NE(popup, 0u) << "the RECORDER toggle opened no window \"" << recorder_.title << "\"";
  const Rect at = x_->Geometry(popup);
  ASSERT_EQ(at.width, recorder_.width);
  ASSERT_TRUE(Settled(On(recorder_, at, "TBOXrecstatus"))) << "the recorder popup was never drawn";

  // Six records at the interval of one second, typed as the operator does.
  ClickOn(On(recorder_, at, "NUMnumSample"));
  x_->Key(XK_a, true);
  x_->Type("6");
  x_->Key(XK_Return);

  // The status box turns green and alternates between its two texts, the start time is
  // shown, and the records written are counted.
  const std::vector<std::string> live = {"TBOXrecstatus", "NUMsampleCount", "STRstartTime"};
  std::vector<Rect> regions;
  for (const std::string& name : live) regions.push_back(On(recorder_, at, name));
  const std::vector<Picture> before = GrabAll(*x_, regions);
  ClickOn(On(recorder_, at, "BTNStartRecord"));
  ASSERT_TRUE(EachDiffers(live, regions, before, "after START"));
  // The count goes on with every record (the status box's two texts are shown at the pace of
  // the display, which may meet the same one each time).
  const std::vector<Rect> count = {regions[1]};
  EachDiffers({live[1]}, count, GrabAll(*x_, count), "while the run went on");

  // The run ends by itself after six records; the file holds the header and six records.
  const std::string file = dataDir_ + "/CHARGE0123.DAT";
  std::string text;
  const std::regex record("[0-9]+(\t[0-9]+){6}\r\n");
  auto records = [&] {
    int n = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), record), end; it != end; ++it) ++n;
    return n;
  };
  for (int i = 0; i < 150 && records() < 6; ++i) {
    Sleep(0.2);
    text = ReadFile(file);
  }
  EXPECT_NE(text.find("Chargen-Name:\tCHARGE0123.DAT\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Max. Anzahl Messwerte:\t6\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tGAPPIX\tGAPVAL\tGAPLEN\r\n"), std::string::npos) << text;
  EXPECT_EQ(records(), 6) << text;
  // Nothing after the sixth record: the run stopped there.
  Sleep(2.0);
  text = ReadFile(file);
  EXPECT_EQ(records(), 6) << text;
}

TEST_F(ScreenTest, LinkMonitorCountsOnItsWindowWhileRunRuns) {
  // The status line's context menu, its last entry "Link monitor...".
  const Rect status = Main("TBOXstatus");
  x_->Click(status.centreX(), status.centreY(), 3);
  std::vector<Window> menus;
  for (int i = 0; i < 50 && menus.empty(); ++i) {
    Sleep(0.1);
    menus = x_->PopupWindows(program_.pid());
  }
  ASSERT_EQ(menus.size(), 1u) << "right-clicking the status line opened no menu";
  const Rect menu = x_->Geometry(menus[0]);
  Sleep(0.3);
  x_->Click(menu.centreX(), menu.y + menu.height - 14);
  const Window monitor = x_->FindWindow(program_.pid(), "Link monitor", 10.0);
  ASSERT_NE(monitor, 0u) << "the menu's last entry opened no \"Link monitor\" window";
  const Rect window = x_->Geometry(monitor);
  ASSERT_TRUE(Settled(window)) << "the link monitor was never drawn";

  // RUN must be reachable: the monitor may not cover it.
  const Rect run = Main("BTNRun");
  ASSERT_FALSE(run.centreX() >= window.x && run.centreX() < window.x + window.width &&
               run.centreY() >= window.y && run.centreY() < window.y + window.height)
      << "the link monitor covers RUN";
  // The counters at the top of the window and the frame list below them.
  const std::vector<std::string> parts = {"the counters", "the frame list"};
  const std::vector<Rect> regions = {{window.x, window.y, window.width * 3 / 4, window.height / 3},
                                     {window.x, window.y + window.height / 2, window.width, window.height / 3}};
  const std::vector<Picture> before = GrabAll(*x_, regions);
  ClickOn(run);
  ASSERT_TRUE(EachDiffers(parts, regions, before, "after RUN was clicked"));
  EachDiffers(parts, regions, GrabAll(*x_, regions), "while RUN ran");
}

}  // namespace
