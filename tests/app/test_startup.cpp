// Start-up, defaults, the information band and shutdown, in-process with the real panels, and
// the program's exit codes as a separate process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "state/globals.h"
#include "app/main_panel.h"
#include "band/logo.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "sensor/model.h"
#include "resources/panels.h"
#include "support/scripted_peer.h"
#include "support/ui_helpers.h"
#include "program_environment.h"

namespace {

std::vector<InspectedControl> TextMessages(int panel) {
  std::vector<InspectedControl> out;
  for (const InspectedControl& c : InspectPanelControls(panel))
    if (c.kind == "textmsg" && c.name.rfind("TEXTMSG_", 0) == 0) out.push_back(c);
  return out;
}

std::string TextOf(int panel, int control) {
  char buf[260];
  GetCtrlVal(panel, control, buf);
  return buf;
}

class StartUpTest : public ::testing::Test {
 protected:
  ProgramEnvironment env_;
  ScriptedPeer& peer_ = env_.peer;
  std::string& dataDir_ = env_.dataDir;
};

TEST_F(StartUpTest, DefaultsShowInitVarsOnTheStatusLine) {
  std::string why;
  ASSERT_TRUE(LoadProgramPanels(&why)) << why;
  GetProjectDir(proj_dir);
  com = 7;
  stop_flag = 0;
  InitVars();
  EXPECT_EQ(TextOf(pHandle, MAIN_TBOXstatus), "InitVars");
  EXPECT_EQ(com, 1);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(target, RAM);
  EXPECT_EQ(ccdmaxpixelX8, 8192);
}

TEST_F(StartUpTest, ShowsDefaultsBandAndRecorderNamesThenClosesWithExitCodeZero) {
  char arg0[] = "rorir";
  char* argv[] = {arg0, nullptr};
  ASSERT_EQ(StartUp(1, argv), 0);

  // No sensor answers: start-up goes on and says so.
  EXPECT_EQ(TextOf(pHandle, MAIN_TBOXstatus), "Timeout-RS-232...");
  EXPECT_EQ(peer_.orders(), (std::vector<std::uint16_t>{5}));
  int toggle = -1;
  GetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, &toggle);
  EXPECT_EQ(toggle, 0);
  EXPECT_EQ(TextOf(pPopup, RECORDER_TBOXrecfilename), "CHARGE0123.DAT");
  EXPECT_EQ(TextOf(pPopup, RECORDER_TBOXrecpath), dataDir_ + "/CHARGE0123.DAT");
  EXPECT_EQ(std::string(rec_fname), dataDir_ + "/CHARGE0123.DAT");
  EXPECT_EQ(std::string(proj_dir), dataDir_);
  EXPECT_EQ(IsPanelVisible(pHandle), 1);
  EXPECT_EQ(IsPanelVisible(pPopup), 0);
  EXPECT_EQ(GetActiveCtrl(pHandle), MAIN_BTNStop);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(com, 1);

  // The band: blue strip, logo loaded, five texts, the name larger than the rest.
  auto controls = InspectPanelControls(pHandle);
  auto logo = std::find_if(controls.begin(), controls.end(), [](auto& c) { return c.id == MAIN_PICTlogo; });
  ASSERT_NE(logo, controls.end());
  EXPECT_TRUE(logo->hasImage);
  EXPECT_EQ(logo->left, 300);
  EXPECT_EQ(logo->top, 10);
  auto band = std::find_if(controls.begin(), controls.end(), [](auto& c) { return c.id == MAIN_DECOlogo; });
  EXPECT_EQ(band->frameColour, 0x0080FF);
  auto texts = TextMessages(pHandle);
  ASSERT_EQ(texts.size(), 5u);
  const std::array<std::string, 5> expected = {"Rorir Sensor Systems Ltd.", "Phone +00 000 000000",
                                               "www.rorir.example", "K-VOR-PX-Rorir-QMB", "Version 1.52"};
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(texts[i].text, expected[i]);
    EXPECT_EQ(texts[i].pointSize, i == 3 ? 18 : 11) << texts[i].text;
    EXPECT_EQ(texts[i].textBgColour, 0x0080FF);
    EXPECT_EQ(texts[i].textColour, 0xFFFFFF);
  }
  EXPECT_EQ(texts[3].left, 300);
  EXPECT_EQ(texts[3].top, 35);
  EXPECT_EQ(texts[4].left, 490);

  // The position bar from the panel's settings (setpoint 512, tolerance 100, edge window 1 to
  // 1024, threshold 512): cursors at them, the tolerance band around the setpoint.
  double x = 0, y = 0;
  ASSERT_TRUE(InspectGraphCursor(pHandle, MAIN_GRAPHbar, 1, &x, &y));
  EXPECT_DOUBLE_EQ(x, 512.0);
  EXPECT_DOUBLE_EQ(y, 1.0);
  ASSERT_TRUE(InspectGraphCursor(pHandle, MAIN_GRAPHbar, 3, &x, &y));
  EXPECT_DOUBLE_EQ(x, 1024.0);
  auto plots = InspectGraphPlots(pHandle, MAIN_GRAPHbar);
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_DOUBLE_EQ(plots[0].x1, 412.0);
  EXPECT_DOUBLE_EQ(plots[0].x2, 612.0);
  EXPECT_EQ(plots[0].colour, 0x00FF00);
  EXPECT_TRUE(std::all_of(std::begin(thdArray), std::end(thdArray), [](u16 t) { return t == 512; }));

  // Closing the main panel ends the event loop; shutdown returns the exit code 0.
  PanelWidget(pHandle)->close();
  EXPECT_EQ(RunAndShutDown(), 0);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(PanelWidget(pHandle), nullptr);
}

TEST_F(StartUpTest, IdentifiesTheSensorAndClosesWhileTheCycleRuns) {
  peer_.answerLikeSensor({});
  char arg0[] = "rorir";
  char* argv[] = {arg0, nullptr};
  ASSERT_EQ(StartUp(1, argv), 0);
  EXPECT_EQ(peer_.orders(), (std::vector<std::uint16_t>{5, 10, 2, 7}));
  // The status line ends with the firmware text of the virtual sensor's default profile.
  EXPECT_EQ(TextOf(pHandle, MAIN_TBOXstatus), "Virtual line sensor type 1, 1024 pixels, firmware 3.10, board 100");

  // The measurement cycle runs inside the event loop; closing the main panel ends it, closes
  // the port and ends the program normally.
  QTimer::singleShot(0, [] { PushRUN(); });
  QTimer::singleShot(400, [] { PanelWidget(pHandle)->close(); });
  EXPECT_EQ(RunAndShutDown(), 0);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_GT(peer_.frames().size(), 6u);
  EXPECT_LT(GetInQLen(com), 0);  // the port is closed
}

TEST_F(StartUpTest, MissingLogoLeavesThePictureEmptyAndDrawsTheRestOfTheBand) {
  // A resource folder with the panel file but without the bitmap.
  std::string resources = MakeTempDir();
  std::filesystem::copy_file(BinPath(PANEL_RESOURCE_FILE), resources + "/" + PANEL_RESOURCE_FILE);
  setenv("RORIR_RESOURCE_DIR", resources.c_str(), 1);
  char arg0[] = "rorir";
  char* argv[] = {arg0, nullptr};
  ASSERT_EQ(StartUp(1, argv), 0);
  auto controls = InspectPanelControls(pHandle);
  auto logo = std::find_if(controls.begin(), controls.end(), [](auto& c) { return c.id == MAIN_PICTlogo; });
  EXPECT_FALSE(logo->hasImage);
  EXPECT_EQ(TextMessages(pHandle).size(), 5u);
  RemoveTree(resources);
}

TEST_F(StartUpTest, BandStylesAndRepeatedCalls) {
  std::string why;
  ASSERT_TRUE(LoadProgramPanels(&why)) << why;
  ShowLogo(3);
  EXPECT_TRUE(TextMessages(pHandle).empty());
  ShowLogo(0);
  auto texts = TextMessages(pHandle);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].textColour, 0x808080);
  EXPECT_EQ(texts[0].textBgColour, 0xFFFFFF);
  auto controls = InspectPanelControls(pHandle);
  auto logo = std::find_if(controls.begin(), controls.end(), [](auto& c) { return c.id == MAIN_PICTlogo; });
  EXPECT_FALSE(logo->visible);
  ShowLogo(1);
  ShowLogo(1);
  EXPECT_EQ(TextMessages(pHandle).size(), 6u);  // each call adds its texts over the earlier ones
}

// ---- the program as a process ----

struct RunResult {
  int exitCode = -1;
  std::string output;
};

RunResult RunProgram(const std::string& env) {
  RunResult r;
  // A program that does not end within a minute is killed: the test fails instead of hanging.
  std::string cmd = "timeout -k 5 60 env QT_QPA_PLATFORM=offscreen " + env + " '" + BinPath("rorir") + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (fgets(buf, sizeof buf, p)) r.output += buf;
  int status = pclose(p);
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  return r;
}

TEST(ProgramExit, MissingOrBrokenPanelFileEndsWithMinusOneAndSaysWhy) {
  std::string empty = MakeTempDir();
  RunResult missing = RunProgram("RORIR_RESOURCE_DIR=" + empty);
  EXPECT_EQ(missing.exitCode, 255);  // -1 as an exit status
  EXPECT_NE(missing.output.find("rorir: K-VOR-PX-Rorir-QMBv152.uir: file not found"), std::string::npos)
      << missing.output;

  std::ofstream(empty + "/" + PANEL_RESOURCE_FILE) << "{ \"format\": \"rorir-panels\", ";
  RunResult broken = RunProgram("RORIR_RESOURCE_DIR=" + empty);
  EXPECT_EQ(broken.exitCode, 255);
  EXPECT_NE(broken.output.find("not a panel file"), std::string::npos) << broken.output;
  RemoveTree(empty);
}

// Each fault of the real resource file ends the start with -1 and one line naming the cause.
TEST(ProgramExit, MalformedPanelFileEndsWithMinusOneAndNamesTheFault) {
  std::ifstream in(BinPath(PANEL_RESOURCE_FILE));
  const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(original.empty());
  const std::string run = "\"id\": 22, \"name\": \"BTNRun\", \"kind\": \"command\", \"label\": \"RUN\", "
                          "\"left\": 856, \"top\": 644, \"width\": 112";
  ASSERT_NE(original.find(run), std::string::npos);
  auto with = [&](const std::string& replacement) {
    std::string text = original;
    text.replace(text.find(run), run.size(), replacement);
    return text;
  };
  struct Case {
    const char* what;
    std::string text;
    const char* says;
  } cases[] = {
      {"bad JSON", original.substr(0, original.size() - 3), "not a panel file"},
      {"missing id", with("\"name\": \"BTNRun\", \"kind\": \"command\", \"label\": \"RUN\", "
                          "\"left\": 856, \"top\": 644, \"width\": 112"),
       "lacks control 22 (BTNRun)"},
      {"wrong kind", with("\"id\": 22, \"name\": \"BTNRun\", \"kind\": \"textbox\", \"label\": \"RUN\", "
                          "\"left\": 856, \"top\": 644, \"width\": 112"),
       "expected BTNRun (command)"},
      {"negative left", with("\"id\": 22, \"name\": \"BTNRun\", \"kind\": \"command\", \"label\": \"RUN\", "
                             "\"left\": -856, \"top\": 644, \"width\": 112"),
       "control 22 (BTNRun): left, top, width and height"},
      {"huge width", with("\"id\": 22, \"name\": \"BTNRun\", \"kind\": \"command\", \"label\": \"RUN\", "
                          "\"left\": 856, \"top\": 644, \"width\": 4000000000"),
       "control 22 (BTNRun): left, top, width and height"},
  };
  for (const Case& c : cases) {
    const std::string dir = MakeTempDir();
    std::ofstream(dir + "/" + PANEL_RESOURCE_FILE, std::ios::binary) << c.text;
    RunResult r = RunProgram("RORIR_RESOURCE_DIR=" + dir);
    EXPECT_EQ(r.exitCode, 255) << c.what;
    EXPECT_NE(r.output.find(std::string("rorir: ")), std::string::npos) << c.what << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.what << ": " << r.output;
    RemoveTree(dir);
  }
}

}  // namespace
