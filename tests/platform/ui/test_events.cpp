// Event delivery under real operator timing: clicks that wait in the queue while the program is
// busy, the pumping inside the program's polling loops, the Tab order of the main panel, and a
// start where no display can be opened.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSpinBox>
#include <QTest>
#include <QWidget>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "state/globals.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "resources/panels.h"
#include "support/child_process.h"
#include "support/ui_helpers.h"

namespace {

int gCloseEvents = 0;
int CountClose(int, int event, void*, int, int) {
  if (event == EVENT_CLOSE) ++gCloseEvents;
  return 0;
}

// RUN's callback as the program's loops use it: on commit it dims RUN and VIDEO, then polls
// with ProcessSystemEvents until STOP's commit arrives or its pumping budget is spent.
int gLoopsStarted = 0;
int gLoopDepth = 0;
int gDeepestLoop = 0;
int gPumpsUntilStop = -1;
constexpr int kLoopPumps = 2;
int RunLoop(int panel, int control, int event, void* data, int d1, int d2) {
  RecordEvent(panel, control, event, data, d1, d2);
  if (event != EVENT_COMMIT) return 0;
  ++gLoopsStarted;
  ++gLoopDepth;
  gDeepestLoop = std::max(gDeepestLoop, gLoopDepth);
  SetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_DIMMED, 1);
  SetCtrlAttribute(pHandle, MAIN_BTNVideo, ATTR_DIMMED, 1);
  for (int pumps = 1; pumps <= kLoopPumps; ++pumps) {
    ProcessSystemEvents();
    const std::vector<int> stop = EventsOf(MAIN_BTNStop);
    if (std::find(stop.begin(), stop.end(), EVENT_COMMIT) != stop.end()) {
      gPumpsUntilStop = pumps;
      break;
    }
  }
  --gLoopDepth;
  return 0;
}

class EventTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"CC_BTNStop", "CC_BTNVideo", "CC_TOGGBTN_Recorder", "CC_NEDITEdgeLeft",
                             "CC_NEDITEdgeRight"})
      RegisterCtrlCallback(name, RecordEvent);
    RegisterCtrlCallback("CC_BTNRun", RunLoop);
    RegisterPanelCallback("CC_PANEL", CountClose);
    std::string why;
    ASSERT_TRUE(LoadProgramPanels(&why)) << why;
    DisplayPanel(pHandle);
    PumpFor(0.05);
    ClearSeenEvents();
    gCloseEvents = gLoopsStarted = gLoopDepth = gDeepestLoop = 0;
    gPumpsUntilStop = -1;
  }
  void TearDown() override {
    DiscardPanel(pPopup);
    DiscardPanel(pHandle);
  }
  static void Click(int control) { QTest::mouseClick(CtrlWidget(pHandle, control), Qt::LeftButton); }
};

TEST_F(EventTest, APendingClickIsDeliveredByTheNextPumpingInsideALoopThatDrawsNothing) {
  // Both clicks wait in the queue; RUN's loop must see STOP from its own pumping.
  Click(MAIN_BTNRun);
  Click(MAIN_BTNStop);
  ASSERT_TRUE(PumpUntil([] { return gLoopsStarted > 0 && gLoopDepth == 0; }, 5.0));
  EXPECT_GE(gPumpsUntilStop, 1) << "STOP stayed queued through " << kLoopPumps << " pumpings";
  EXPECT_LE(gPumpsUntilStop, kLoopPumps);
  EXPECT_EQ(EventsOf(MAIN_BTNStop), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
}

TEST_F(EventTest, AQueuedClickOnADimmedOrHiddenControlIsDroppedButThePanelCloseIsNot) {
  struct Case {
    const char* what;
    void (*meanwhile)();
    std::vector<int> delivered;
  } cases[] = {
      {"left usable", [] {}, {EVENT_LEFT_CLICK, EVENT_COMMIT}},
      {"dimmed", [] { SetCtrlAttribute(pHandle, MAIN_BTNVideo, ATTR_DIMMED, 1); }, {}},
      {"hidden", [] { SetCtrlAttribute(pHandle, MAIN_BTNVideo, ATTR_VISIBLE, 0); }, {}},
      {"panel hidden", [] { HidePanel(pHandle); }, {}},
  };
  for (const Case& c : cases) {
    SetCtrlAttribute(pHandle, MAIN_BTNVideo, ATTR_DIMMED, 0);
    SetCtrlAttribute(pHandle, MAIN_BTNVideo, ATTR_VISIBLE, 1);
    DisplayPanel(pHandle);
    ProcessSystemEvents();
    ClearSeenEvents();
    Click(MAIN_BTNVideo);  // queued: the program is busy and takes no events yet
    c.meanwhile();
    ProcessSystemEvents();
    ProcessSystemEvents();
    EXPECT_EQ(EventsOf(MAIN_BTNVideo), c.delivered) << c.what;
  }
  PanelWidget(pHandle)->close();
  HidePanel(pHandle);
  ProcessSystemEvents();
  ProcessSystemEvents();
  EXPECT_EQ(gCloseEvents, 1);
}

TEST_F(EventTest, AChangeOfValueWhoseEventsAreDroppedIsTakenBackUnlessTheProgramSetOneSince) {
  auto* toggle = qobject_cast<QAbstractButton*>(CtrlWidget(pHandle, MAIN_TOGGBTN_Recorder));
  auto* left = qobject_cast<QSpinBox*>(CtrlWidget(pHandle, MAIN_NEDITEdgeLeft));
  auto* right = qobject_cast<QSpinBox*>(CtrlWidget(pHandle, MAIN_NEDITEdgeRight));
  ASSERT_TRUE(toggle && left && right);
  Click(MAIN_TOGGBTN_Recorder);
  left->stepBy(1);
  left->stepBy(1);
  right->stepBy(-1);
  SetCtrlVal(pHandle, MAIN_NEDITEdgeRight, 40);
  for (int id : {MAIN_TOGGBTN_Recorder, MAIN_NEDITEdgeLeft, MAIN_NEDITEdgeRight})
    SetCtrlAttribute(pHandle, id, ATTR_DIMMED, 1);
  ProcessSystemEvents();
  ProcessSystemEvents();
  EXPECT_TRUE(SeenEvents().empty());
  int value = -1;
  GetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, &value);
  EXPECT_EQ(value, 0);
  EXPECT_FALSE(toggle->isChecked());
  GetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, &value);
  EXPECT_EQ(value, 1);  // both steps taken back
  EXPECT_EQ(left->value(), 1);
  GetCtrlVal(pHandle, MAIN_NEDITEdgeRight, &value);
  EXPECT_EQ(value, 40);
}

TEST_F(EventTest, ClicksQueuedBehindRunStartNoSecondLoopInsideTheFirst) {
  // RUN twice, then VIDEO, all clicked while the program took no events.
  Click(MAIN_BTNRun);
  Click(MAIN_BTNRun);
  Click(MAIN_BTNVideo);
  ASSERT_TRUE(PumpUntil([] { return gLoopsStarted > 0 && gLoopDepth == 0; }, 5.0));
  ProcessSystemEvents();
  EXPECT_EQ(gLoopsStarted, 1);
  EXPECT_EQ(gDeepestLoop, 1);
  EXPECT_EQ(EventsOf(MAIN_BTNRun), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
  EXPECT_TRUE(EventsOf(MAIN_BTNVideo).empty());
}

TEST_F(EventTest, TabFollowsTheLayoutOfTheMainPanelGroupByGroup) {
  // Usable for the walk: the tolerance row, where TEACH sits 2 pixels higher than the ring
  // beside it, and the analog-output ring.
  for (int id : {MAIN_NEDITTolerance, MAIN_RNGtolMode, MAIN_RNGanaMode})
    SetCtrlAttribute(pHandle, id, ATTR_DIMMED, 0);
  std::map<int, std::string> names;
  for (const InspectedControl& c : InspectPanelControls(pHandle)) names[c.id] = c.name;
  SetActiveCtrl(pHandle, MAIN_DropDCom);
  std::vector<std::string> walk;
  for (int i = 0; i < 29; ++i) {
    QTest::keyClick(PanelWidget(pHandle)->focusWidget(), Qt::Key_Tab);
    walk.push_back(names[GetActiveCtrl(pHandle)]);
  }
  const std::vector<std::string> expected = {
      "BINSWopMode", "RNGeMode", "DropHardwareMode", "RNGpolarity", "NUMVideoThreshold",  // sensor, edges
      "NEDITEdgeLeft", "NEDITEdgeRight",
      "NUMtVal", "NEDITTolerance", "RNGtolMode", "ButtonTeach",                           // tolerance
      "NUMpower", "RNGpowMode", "NUMaverage", "NUMslope", "RNGanaMode",                   // output
      "BTNStatistics", "BTNResetCounts",                                                  // results
      "RBTRam", "RBTEeprom", "RBTFile", "BTNCompare", "BTNSend", "BTNGet",                // storage
      "BTNRun", "BTNVideo", "BTNStop", "TOGGBTN_Recorder",                                // loop buttons
      "DropDCom"};
  EXPECT_EQ(walk, expected);
}

// ---- the program started where no display can be opened ----

struct Outcome {
  int status = -1;  // exit status, or -1 when it did not end by itself
  std::string err;
};

// Runs the program with `display` as DISPLAY (nullptr: unset) on the X11 platform, and waits
// for it at most 20 s; a program that does not end by then is killed.
Outcome RunWithoutDisplay(const char* display) {
  Outcome out;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return out;
  const std::string program = BinPath("rorir");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDERR_FILENO);
    int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
    unsetenv("WAYLAND_DISPLAY");
    if (display) setenv("DISPLAY", display, 1); else unsetenv("DISPLAY");
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    execl(program.c_str(), "rorir", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return out;
  }
  out.err = child_process::ReadOutput(pipeFds[0], 20.0);
  close(pipeFds[0]);
  const int status = child_process::WaitForEnd(pid, 5.0);
  if (status != -1 && WIFEXITED(status)) out.status = WEXITSTATUS(status);
  return out;
}

TEST(NoDisplay, TheProgramEndsWithMinusOneAndOneLineThatSaysSo) {
  for (const char* display : {static_cast<const char*>(nullptr), ":8417"}) {
    const char* what = display ? "display that cannot be reached" : "no DISPLAY";
    const Outcome r = RunWithoutDisplay(display);
    EXPECT_EQ(r.status, 255) << what << ": " << r.err;  // -1 as an exit status
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << ": " << r.err;
    EXPECT_NE(r.err.find("rorir: no display could be opened"), std::string::npos) << what << ": " << r.err;
    EXPECT_NE(r.err.find("QT_QPA_PLATFORM=offscreen"), std::string::npos) << what << ": " << r.err;
  }
}

}  // namespace
