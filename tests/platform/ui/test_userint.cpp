// The user-interface services with real widgets offscreen: events as the operator produces
// them, values, attributes, graph content, pop-up hooks, the panel loader and the wait loop.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QSpinBox>
#include <QTest>
#include <QWidget>

#include <ctime>
#include <fstream>
#include <string>

#include "state/globals.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "resources/panels.h"
#include "support/ui_helpers.h"

namespace {

int gPanelEvents = 0;
int gLastPanelEvent = 0;
int CountPanelEvent(int, int event, void*, int, int) {
  ++gPanelEvents;
  gLastPanelEvent = event;
  return 0;
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"CC_BTNRun", "CC_BTNStop", "CC_DropHardwareMode", "CC_NEDITEdgeLeft",
                             "CC_RBTRam", "CC_TOGGBTN_Recorder", "CC_TBOXrecfilename"})
      RegisterCtrlCallback(name, RecordEvent);
    RegisterPanelCallback("CC_PANEL", CountPanelEvent);
    std::string why;
    ASSERT_TRUE(LoadProgramPanels(&why)) << why;
    DisplayPanel(pHandle);
    PumpFor(0.05);
    ClearSeenEvents();
  }
  void TearDown() override {
    DiscardPanel(pPopup);
    DiscardPanel(pHandle);
  }
  QWidget* W(int id) { return CtrlWidget(pHandle, id); }
};

TEST_F(PanelTest, ButtonPressGivesLeftClickThenReleaseGivesCommit) {
  QTest::mousePress(W(MAIN_BTNRun), Qt::LeftButton);
  PumpFor(0.02);
  EXPECT_EQ(EventsOf(MAIN_BTNRun), (std::vector<int>{EVENT_LEFT_CLICK}));
  QTest::mouseRelease(W(MAIN_BTNRun), Qt::LeftButton);
  PumpFor(0.02);
  EXPECT_EQ(EventsOf(MAIN_BTNRun), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
}

TEST_F(PanelTest, KeyOnFocusedButtonGivesKeyPressAndSpaceOrEnterOperateIt) {
  SetActiveCtrl(pHandle, MAIN_BTNStop);
  EXPECT_EQ(GetActiveCtrl(pHandle), MAIN_BTNStop);
  QTest::keyClick(W(MAIN_BTNStop), Qt::Key_A);
  PumpFor(0.02);
  EXPECT_EQ(EventsOf(MAIN_BTNStop), (std::vector<int>{EVENT_KEYPRESS}));
  ASSERT_EQ(SeenEvents().size(), 1u);
  EXPECT_EQ(SeenEvents()[0].data1, Qt::Key_A);

  ClearSeenEvents();
  QTest::keyClick(W(MAIN_BTNStop), Qt::Key_Space);
  QTest::keyClick(W(MAIN_BTNStop), Qt::Key_Return);
  PumpFor(0.02);
  EXPECT_EQ(EventsOf(MAIN_BTNStop),
            (std::vector<int>{EVENT_KEYPRESS, EVENT_COMMIT, EVENT_KEYPRESS, EVENT_COMMIT}));
}

TEST_F(PanelTest, RingChoiceGivesValueChangedThenCommit) {
  auto* box = qobject_cast<QComboBox*>(W(MAIN_DropHardwareMode));
  ASSERT_NE(box, nullptr);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Down);
  PumpFor(0.02);
  std::vector<int> events = EventsOf(MAIN_DropHardwareMode);
  // The key itself is reported first, then the choice it made.
  EXPECT_EQ(events, (std::vector<int>{EVENT_KEYPRESS, EVENT_VAL_CHANGED, EVENT_COMMIT}));
  u16 mode = 0;
  GetCtrlVal(pHandle, MAIN_DropHardwareMode, &mode);
  EXPECT_EQ(mode, 2);
}

TEST_F(PanelTest, NumericStepGivesValueChanged) {
  auto* box = qobject_cast<QSpinBox*>(W(MAIN_NEDITEdgeLeft));
  ASSERT_NE(box, nullptr);
  box->stepBy(1);
  PumpFor(0.02);
  std::vector<int> events = EventsOf(MAIN_NEDITEdgeLeft);
  ASSERT_GE(events.size(), 1u);
  EXPECT_EQ(events[0], EVENT_VAL_CHANGED);
  int v = 0;
  GetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, &v);
  EXPECT_EQ(v, 2);
}

TEST_F(PanelTest, ValuesSetByTheProgramRaiseNoEvent) {
  SetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, 77);
  SetCtrlVal(pHandle, MAIN_DropHardwareMode, 3);
  SetCtrlVal(pHandle, MAIN_RBTRam, 0);
  SetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, 1);
  ResetTextBox(pPopup, RECORDER_TBOXrecfilename, "OTHER.DAT");
  PumpFor(0.05);
  EXPECT_TRUE(SeenEvents().empty());
  int v = 0;
  GetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, &v);
  EXPECT_EQ(v, 77);
  GetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, &v);
  EXPECT_EQ(v, 1);
}

TEST_F(PanelTest, DimmedControlTakesNoClicksAndHiddenControlIsNotShown) {
  SetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_DIMMED, 1);
  QTest::mouseClick(W(MAIN_BTNRun), Qt::LeftButton);
  PumpFor(0.02);
  EXPECT_TRUE(EventsOf(MAIN_BTNRun).empty());
  int dimmed = -1;
  GetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_DIMMED, &dimmed);
  EXPECT_EQ(dimmed, 1);
  EXPECT_FALSE(W(MAIN_BTNRun)->isEnabled());

  SetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_DIMMED, 0);
  QTest::mouseClick(W(MAIN_BTNRun), Qt::LeftButton);
  PumpFor(0.02);
  EXPECT_EQ(EventsOf(MAIN_BTNRun), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));

  SetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_VISIBLE, 0);
  EXPECT_FALSE(W(MAIN_BTNRun)->isVisible());
  SetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_VISIBLE, 1);
  EXPECT_TRUE(W(MAIN_BTNRun)->isVisible());
}

TEST_F(PanelTest, CloseBoxReachesPanelCallbackAndPanelStaysOpen) {
  gPanelEvents = 0;
  PanelWidget(pHandle)->close();
  PumpFor(0.02);
  EXPECT_EQ(gPanelEvents, 1);
  EXPECT_EQ(gLastPanelEvent, EVENT_CLOSE);
  EXPECT_EQ(IsPanelVisible(pHandle), 1);
}

TEST_F(PanelTest, ValueTypesConvertLikeTheProgramReadsThem) {
  // A numeric coerces to its range; a u16 read keeps the low 16 bits.
  SetCtrlVal(pHandle, MAIN_NUMVideoThreshold, 2000);
  int v = 0;
  GetCtrlVal(pHandle, MAIN_NUMVideoThreshold, &v);
  EXPECT_EQ(v, 950);
  unsigned short low = 0;
  SetCtrlVal(pHandle, MAIN_NUMtTol, 70000.0);
  GetCtrlVal(pHandle, MAIN_NUMtTol, &low);
  EXPECT_EQ(low, 65535);  // a u16 indicator coerces to its range
  SetCtrlVal(pPopup, RECORDER_NUMgapCount, 70000);
  GetCtrlVal(pPopup, RECORDER_NUMgapCount, &low);
  EXPECT_EQ(low, 4464);  // a 32-bit value read into 16 bits keeps its low bits

  SetCtrlVal(pHandle, MAIN_NUMumValue, 100.0);
  double d = 0;
  GetCtrlVal(pHandle, MAIN_NUMumValue, &d);
  EXPECT_DOUBLE_EQ(d, 100.0);

  EXPECT_EQ(SetCtrlVal(pHandle, MAIN_NUMpower, "text"), UIE_BAD_TYPE);
  EXPECT_EQ(SetCtrlVal(pHandle, 99, 1), UIE_BAD_CONTROL);
  EXPECT_EQ(SetCtrlVal(9999, MAIN_NUMpower, 1), UIE_BAD_PANEL);
}

TEST_F(PanelTest, TextReadsAreBoundedAndTerminated) {
  ResetTextBox(pHandle, MAIN_TBOXstatus, "first line\r\nsecond line");
  char small[6];
  ASSERT_EQ(GetCtrlVal(pHandle, MAIN_TBOXstatus, small), 0);
  EXPECT_STREQ(small, "first");
  char line[72];
  ASSERT_EQ(GetTextBoxLine(pHandle, MAIN_TBOXstatus, 1, line), 0);
  EXPECT_STREQ(line, "second line");
  ASSERT_EQ(GetTextBoxLine(pHandle, MAIN_TBOXstatus, 0, line), 0);
  EXPECT_STREQ(line, "first line");
  EXPECT_LT(GetTextBoxLine(pHandle, MAIN_TBOXstatus, 2, line), 0);
}

TEST_F(PanelTest, RingItemsCanBeRelabelled) {
  ASSERT_EQ(ReplaceListItem(pHandle, MAIN_RNGanaMode, 1, "GAP-VALUE", 1), 0);
  char label[32];
  GetLabelFromIndex(pHandle, MAIN_RNGanaMode, 1, label, sizeof label);
  EXPECT_STREQ(label, "GAP-VALUE");
  EXPECT_EQ(qobject_cast<QComboBox*>(W(MAIN_RNGanaMode))->itemText(1), "GAP-VALUE");
  EXPECT_LT(ReplaceListItem(pHandle, MAIN_RNGanaMode, 6, "x", 6), 0);
}

TEST_F(PanelTest, TwoStateSwitchShowsItsStateTexts) {
  SetCtrlAttribute(pHandle, MAIN_BINSWopMode, ATTR_ON_TEXT, "ADC-CNV");
  SetCtrlAttribute(pHandle, MAIN_BINSWopMode, ATTR_OFF_TEXT, "DIG-CMP");
  SetCtrlVal(pHandle, MAIN_BINSWopMode, 1);
  auto controls = InspectPanelControls(pHandle);
  auto it = std::find_if(controls.begin(), controls.end(), [](auto& c) { return c.id == MAIN_BINSWopMode; });
  ASSERT_NE(it, controls.end());
  EXPECT_EQ(it->text, "ADC-CNV");
  SetCtrlVal(pHandle, MAIN_BINSWopMode, 0);
  controls = InspectPanelControls(pHandle);
  it = std::find_if(controls.begin(), controls.end(), [](auto& c) { return c.id == MAIN_BINSWopMode; });
  EXPECT_EQ(it->text, "DIG-CMP");
}

TEST_F(PanelTest, GraphContentQueriesReturnWhatWasPlotted) {
  const double xs[3] = {1.0, 2.0, 3.0};
  const unsigned short ys[3] = {10, 20, 65535};
  int h1 = PlotXY(pHandle, MAIN_GRAPHvideo, xs, ys, 3, VAL_DOUBLE, VAL_UNSIGNED_SHORT_INTEGER,
                  VAL_CONNECTED_POINTS, VAL_SOLID_SQUARE, VAL_SOLID, 1, VAL_RED);
  EXPECT_GT(h1, 0);
  PlotRectangle(pHandle, MAIN_GRAPHvideo, -10.0, 0.0, 30.0, 0.25, VAL_GREEN, VAL_GREEN);
  auto plots = InspectGraphPlots(pHandle, MAIN_GRAPHvideo);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_FALSE(plots[0].rectangle);
  EXPECT_EQ(plots[0].xs, (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_EQ(plots[0].ys, (std::vector<double>{10.0, 20.0, 65535.0}));
  EXPECT_EQ(plots[0].colour, VAL_RED);
  EXPECT_TRUE(plots[1].rectangle);
  EXPECT_DOUBLE_EQ(plots[1].x1, -10.0);
  EXPECT_DOUBLE_EQ(plots[1].x2, 30.0);
  EXPECT_EQ(plots[1].fillColour, VAL_GREEN);

  SetGraphCursor(pHandle, MAIN_GRAPHbar, 2, 123.0, 0.75);
  double x = 0, y = 0;
  EXPECT_TRUE(InspectGraphCursor(pHandle, MAIN_GRAPHbar, 2, &x, &y));
  EXPECT_DOUBLE_EQ(x, 123.0);
  EXPECT_DOUBLE_EQ(y, 0.75);
  EXPECT_FALSE(InspectGraphCursor(pHandle, MAIN_GRAPHbar, 1, &x, &y));

  SetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, 256.0);
  int mode = -1;
  double mn = 0, mx = 0;
  GetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_LEFT_YAXIS, &mode, &mn, &mx);
  EXPECT_EQ(mode, VAL_MANUAL);
  EXPECT_DOUBLE_EQ(mx, 256.0);
  EXPECT_LT(SetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_LEFT_YAXIS, VAL_MANUAL, 5.0, 5.0), 0);

  DeleteGraphPlot(pHandle, MAIN_GRAPHvideo, h1, VAL_DELAYED_DRAW);
  EXPECT_EQ(InspectGraphPlots(pHandle, MAIN_GRAPHvideo).size(), 1u);
  DeleteGraphPlot(pHandle, MAIN_GRAPHvideo, VAL_ALL_PLOTS, VAL_NO_DRAW);
  EXPECT_TRUE(InspectGraphPlots(pHandle, MAIN_GRAPHvideo).empty());
}

TEST_F(PanelTest, StripChartKeepsTheLastPointsOfEachInterleavedTrace) {
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_NUM_TRACES, 2);
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_POINTS_PER_SCREEN, 3);
  SetTraceAttribute(pHandle, MAIN_CHARTraw, 2, ATTR_TRACE_COLOR, VAL_RED);
  const double values[8] = {1, 10, 2, 20, 3, 30, 4, 40};
  PlotStripChart(pHandle, MAIN_CHARTraw, values, 8, 0, 0, VAL_DOUBLE);
  auto traces = InspectStripChart(pHandle, MAIN_CHARTraw);
  ASSERT_EQ(traces.size(), 2u);
  EXPECT_EQ(traces[0], (std::vector<double>{2, 3, 4}));
  EXPECT_EQ(traces[1], (std::vector<double>{20, 30, 40}));
  EXPECT_LT(SetTraceAttribute(pHandle, MAIN_CHARTraw, 3, ATTR_TRACE_COLOR, 0), 0);
}

TEST_F(PanelTest, RepaintsAreCoalescedAcrossABurstOfPlots) {
  SetCtrlAttribute(pHandle, MAIN_GRAPHvideo, ATTR_VISIBLE, 1);
  InspectFlushRepaints();
  const int before = InspectRepaintCount(pHandle, MAIN_GRAPHvideo);
  const double xs[2] = {1, 2};
  const double ys[2] = {3, 4};
  for (int i = 0; i < 500; ++i) {
    DeleteGraphPlot(pHandle, MAIN_GRAPHvideo, VAL_ALL_PLOTS, VAL_DELAYED_DRAW);
    PlotXY(pHandle, MAIN_GRAPHvideo, xs, ys, 2, VAL_DOUBLE, VAL_DOUBLE, VAL_CONNECTED_POINTS,
           VAL_SOLID_SQUARE, VAL_SOLID, 1, VAL_RED);
  }
  PumpFor(0.1);
  const int repaints = InspectRepaintCount(pHandle, MAIN_GRAPHvideo) - before;
  EXPECT_GE(repaints, 1);
  EXPECT_LE(repaints, 2);
  EXPECT_EQ(InspectGraphPlots(pHandle, MAIN_GRAPHvideo).size(), 1u);
}

TEST_F(PanelTest, RunTimeTextControlsTakeTheirAttributes) {
  int id = NewCtrl(pHandle, CTRL_TEXT_MSG, "", 40, 490);
  ASSERT_GT(id, 0);
  SetCtrlAttribute(pHandle, id, ATTR_TEXT_BGCOLOR, 0x0080FF);
  SetCtrlAttribute(pHandle, id, ATTR_TEXT_COLOR, 0xFFFFFF);
  SetCtrlAttribute(pHandle, id, ATTR_TEXT_POINT_SIZE, 11);
  SetCtrlVal(pHandle, id, "Version 1.52");
  int other = NewCtrl(pHandle, CTRL_TEXT_MSG, "", 0, 0);
  EXPECT_NE(other, id);
  auto controls = InspectPanelControls(pHandle);
  auto it = std::find_if(controls.begin(), controls.end(), [&](auto& c) { return c.id == id; });
  ASSERT_NE(it, controls.end());
  EXPECT_EQ(it->text, "Version 1.52");
  EXPECT_EQ(it->left, 490);
  EXPECT_EQ(it->top, 40);
  EXPECT_EQ(it->pointSize, 11);
  EXPECT_EQ(it->textBgColour, 0x0080FF);
  EXPECT_EQ(NewCtrl(pHandle, 999, "", 0, 0), UIE_BAD_TYPE);
}

TEST_F(PanelTest, BoldTextCanBeTurnedOffAgain) {
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BOLD, 1);
  EXPECT_TRUE(CtrlWidget(pPopup, RECORDER_TBOXrecstatus)->font().bold());
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BOLD, 0);
  EXPECT_FALSE(CtrlWidget(pPopup, RECORDER_TBOXrecstatus)->font().bold());
  int bold = -1;
  GetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BOLD, &bold);
  EXPECT_EQ(bold, 0);
}

TEST(Popups, QueuedAnswersAreTakenInOrderAndOffscreenNeverBlocks) {
  ResetPopupLog();
  QueueConfirmAnswer(1);
  QueueConfirmAnswer(0);
  EXPECT_NE(ConfirmPopup("ATTENTION !", "first"), 0);
  EXPECT_EQ(ConfirmPopup("ATTENTION !", "second"), 0);
  // Nothing queued: offscreen there is nobody to answer, so it declines at once.
  EXPECT_EQ(ConfirmPopup("ATTENTION !", "third"), 0);
  ASSERT_EQ(PopupLog().size(), 3u);
  EXPECT_EQ(PopupLog()[0].title, "ATTENTION !");
  EXPECT_EQ(PopupLog()[1].message, "second");
  EXPECT_FALSE(PopupLog()[2].answeredFromQueue);

  std::string dir = MakeTempDir();
  std::string existing = dir + "/KVORpara.dat";
  std::ofstream(existing) << "1\r\n";
  char path[260] = "unchanged";
  QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, existing.c_str());
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "KVORpara.dat", "*.dat", "T", 3, 0, 1, 1, 1, path),
            VAL_EXISTING_FILE_SELECTED);
  EXPECT_EQ(std::string(path), existing);
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, (dir + "/new.dat").c_str());
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "x.dat", "*.dat", "T", 0, 0, 1, 1, 1, path),
            VAL_NEW_FILE_SELECTED);
  // A path that would not fit the program's buffers is no choice; the buffer stays as it was.
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, (dir + "/" + std::string(300, 'a')).c_str());
  CopyText(path, 260, "kept");
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "x.dat", "*.dat", "T", 0, 0, 1, 1, 1, path),
            VAL_NO_FILE_SELECTED);
  EXPECT_STREQ(path, "kept");
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "x.dat", "*.dat", "T", 0, 0, 1, 1, 1, path),
            VAL_NO_FILE_SELECTED);
  RemoveTree(dir);
}

TEST(WaitLoop, PollingWithProcessSystemEventsEndsOnTimeAndDoesNotSpin) {
  const std::clock_t cpuStart = std::clock();
  const double start = Timer();
  int passes = 0;
  while (Timer() - start <= 3.0) {
    ProcessSystemEvents();
    ++passes;
  }
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  // Each idle pass returns after its short guard (about 300 passes in 3 s); a wait that lasted
  // until the next stray event would leave a handful at most, one that returned at once would
  // make hundreds of thousands.
  EXPECT_GE(passes, 20);
  EXPECT_LE(passes, 3000);
  // A loop that spins uses about as much CPU as wall time (3 s); an idle one a few hundredths.
  EXPECT_LT(cpu, 1.0);
}

// ---- the panel loader ----

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir();
    std::ifstream in(BinPath(PANEL_RESOURCE_FILE));
    original_.assign(std::istreambuf_iterator<char>(in), {});
    ASSERT_FALSE(original_.empty());
    RequireControls(kRequiredControls, kRequiredControlCount);
  }
  void TearDown() override { RemoveTree(dir_); }
  int LoadText(const std::string& text, int resource = PANEL_MAIN) {
    std::string path = dir_ + "/panel.uir";
    std::ofstream(path, std::ios::binary) << text;
    int h = LoadPanel(0, path.c_str(), resource);
    if (h > 0) DiscardPanel(h);
    return h;
  }
  static std::string Replace(std::string s, const std::string& from, const std::string& to) {
    size_t at = s.find(from);
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
  }
  std::string dir_, original_;
};

TEST_F(LoaderTest, RefusesMissingMalformedAndIncompleteFiles) {
  EXPECT_GT(LoadText(original_), 0);
  EXPECT_GT(LoadText(original_, PANEL_RECORDER), 0);

  EXPECT_EQ(LoadPanel(0, (dir_ + "/absent.uir").c_str(), PANEL_MAIN), UIE_FILE_NOT_FOUND);
  EXPECT_NE(std::string(GetLoadPanelError()).find("absent.uir"), std::string::npos);

  struct Case {
    const char* what;
    std::string text;
    int expected;
  } cases[] = {
      {"empty", "", UIE_BAD_FILE},
      {"binary", std::string("\x00\xff\x13\x37", 4), UIE_BAD_FILE},
      {"truncated", original_.substr(0, original_.size() / 2), UIE_BAD_FILE},
      {"other format", Replace(original_, "rorir-panels", "something-else"), UIE_BAD_FILE},
      {"no such panel", Replace(original_, "\"resource\": 1,", "\"resource\": 7,"), UIE_BAD_RESOURCE},
      {"control missing", Replace(original_, "\"id\": 22,", "\"id\": 98,"), UIE_MISSING_CONTROL},
      {"wrong kind", Replace(original_, "\"name\": \"BTNRun\", \"kind\": \"command\"",
                             "\"name\": \"BTNRun\", \"kind\": \"toggle\""),
       UIE_MISSING_CONTROL},
      {"unknown kind", Replace(original_, "\"kind\": \"command\"", "\"kind\": \"slider\""), UIE_BAD_FILE},
      {"id twice", Replace(original_, "\"id\": 24,", "\"id\": 22,"), UIE_BAD_FILE},
      {"no geometry", Replace(original_, "\"left\": 856, \"top\": 644,", "\"top\": 644,"), UIE_BAD_FILE},
      {"negative left", Replace(original_, "\"left\": 856, \"top\": 644,", "\"left\": -40, \"top\": 644,"), UIE_BAD_FILE},
      {"huge left", Replace(original_, "\"left\": 856, \"top\": 644,", "\"left\": 1e12, \"top\": 644,"), UIE_BAD_FILE},
      {"negative width", Replace(original_, "\"top\": 644, \"width\": 112,", "\"top\": 644, \"width\": -112,"), UIE_BAD_FILE},
      {"huge width", Replace(original_, "\"top\": 644, \"width\": 112,", "\"top\": 644, \"width\": 99999999,"), UIE_BAD_FILE},
      {"zero height", Replace(original_, "\"width\": 112, \"height\": 36, \"bold\"", "\"width\": 112, \"height\": 0, \"bold\""), UIE_BAD_FILE},
      {"fractional top", Replace(original_, "\"left\": 856, \"top\": 644,", "\"left\": 856, \"top\": 644.5,"), UIE_BAD_FILE},
      {"past the right edge", Replace(original_, "\"left\": 856, \"top\": 644,", "\"left\": 1000, \"top\": 644,"), UIE_BAD_FILE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadText(c.text), c.expected) << c.what << ": " << GetLoadPanelError();
    EXPECT_STRNE(GetLoadPanelError(), "") << c.what;
  }
}

TEST_F(LoaderTest, NamesTheMissingControlInItsMessage) {
  EXPECT_EQ(LoadText(Replace(original_, "\"id\": 22,", "\"id\": 98,")), UIE_MISSING_CONTROL);
  EXPECT_NE(std::string(GetLoadPanelError()).find("22 (BTNRun)"), std::string::npos)
      << GetLoadPanelError();
}

}  // namespace
