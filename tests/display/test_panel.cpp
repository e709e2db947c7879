// Binding of the main panel to the settings, on the real panel: reading the controls, range
// repair shown on the panel, the two control groups, the bar and curve, and the button lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "display/gui.h"
#include "display/panel.h"
#include "display_fixture.h"

namespace {

using PanelBindingTest = PanelTest;

struct Binding {
  int control;
  u16* variable;
  u16 value;  // a value the control accepts, different from the start value
};

// The fifteen setting controls with their globals.
std::vector<Binding> SettingBindings() {
  return {{MAIN_NUMpower, &power, 777},          {MAIN_RNGtolMode, &tolMode, 5},
          {MAIN_NUMVideoThreshold, &vThd, 333},  {MAIN_RNGanaMode, &anaMode, 4},
          {MAIN_RNGpolarity, &polarity, 0},      {MAIN_RNGeMode, &eMode, 3},
          {MAIN_NEDITEdgeLeft, &eBeg, 17},       {MAIN_NEDITEdgeRight, &eEnd, 900},
          {MAIN_NUMtVal, &tVal, 4321},           {MAIN_NEDITTolerance, &tTol, 55},
          {MAIN_DropHardwareMode, &eHardware, 2}, {MAIN_NUMaverage, &average, 64},
          {MAIN_RNGpowMode, &powMode, 2},        {MAIN_BINSWopMode, &opMode, 1},
          {MAIN_NUMslope, &slope, 2048}};
}

std::map<int, bool> DimmedStates(int panel) {
  std::map<int, bool> out;
  for (const InspectedControl& c : InspectPanelControls(panel))
    if (c.id > 0) out[c.id] = c.dimmed;
  return out;
}

}  // namespace

TEST_F(PanelBindingTest, GetPanelValuesReadsEveryControlIntoItsSetting) {
  for (const Binding& b : SettingBindings()) SetCtrlVal(pHandle, b.control, b.value);
  for (const Binding& b : SettingBindings()) *b.variable = 0xBEEF;
  intersect = 12345;
  GetPanelValues();
  for (const Binding& b : SettingBindings()) EXPECT_EQ(*b.variable, b.value) << b.control;
  EXPECT_EQ(intersect, 12345) << "intersect has no control of its own";
}

TEST_F(PanelBindingTest, SetPanelValuesWritesEverySettingIntoThePanel) {
  for (const Binding& b : SettingBindings()) *b.variable = b.value;
  SetPanelValues();
  for (const Binding& b : SettingBindings()) EXPECT_EQ(NumberShown(b.control), b.value) << b.control;
  EXPECT_EQ(NumberShown(MAIN_NUMtTol), 55) << "the tolerance echo shows the setting too";
  for (const Binding& b : SettingBindings()) *b.variable = 0;
  GetPanelValues();
  for (const Binding& b : SettingBindings()) EXPECT_EQ(*b.variable, b.value) << b.control;
}

TEST_F(PanelBindingTest, OutOfRangeSettingsAreRepairedInTheGlobalsAndOnThePanel) {
  struct Case {
    const char* name;
    u16* variable;
    u16 set;
    u16 repaired;
    std::vector<int> shownOn;
  };
  const Case cases[] = {
      {"power", &power, 1500, 500, {MAIN_NUMpower}},
      {"power", &power, 1000, 1000, {MAIN_NUMpower}},
      {"tolMode", &tolMode, 7, 0, {MAIN_RNGtolMode}},
      {"vThd", &vThd, 10, 50, {MAIN_NUMVideoThreshold}},
      {"vThd", &vThd, 2000, 950, {MAIN_NUMVideoThreshold}},
      {"anaMode", &anaMode, 9, 0, {MAIN_RNGanaMode}},
      {"polarity", &polarity, 5, 1, {MAIN_RNGpolarity}},
      {"eMode", &eMode, 7, 4, {MAIN_RNGeMode}},
      {"eMode", &eMode, 4, 4, {MAIN_RNGeMode}},
      {"tTol", &tTol, 0, 1, {MAIN_NUMtTol, MAIN_NEDITTolerance}},
      {"tTol", &tTol, 9000, 8192, {MAIN_NUMtTol, MAIN_NEDITTolerance}},
      {"powMode", &powMode, 3, 0, {MAIN_RNGpowMode}},
      {"eBeg", &eBeg, 1025, 1, {MAIN_NEDITEdgeLeft}},
      {"eBeg", &eBeg, 0, 0, {MAIN_NEDITEdgeLeft}},
      {"eEnd", &eEnd, 2000, 1024, {MAIN_NEDITEdgeRight}},
      {"eEnd", &eEnd, 0, 1, {MAIN_NEDITEdgeRight}},
      {"eHardware", &eHardware, 7, 3, {MAIN_DropHardwareMode}},
      {"average", &average, 2000, 1024, {MAIN_NUMaverage}},
      {"slope", &slope, 65535, 1024, {MAIN_NUMslope}},
      {"slope", &slope, 65534, 65534, {MAIN_NUMslope}},
      {"intersect", &intersect, 60001, 30000, {}},
      {"intersect", &intersect, 60000, 60000, {}},
      {"tVal", &tVal, 65535, 65535, {MAIN_NUMtVal}},
  };
  for (const Case& c : cases) {
    ResetDisplayGlobals();
    *c.variable = c.set;
    SetPanelValues();
    EXPECT_EQ(*c.variable, c.repaired) << c.name << " = " << c.set;
    for (int control : c.shownOn)
      EXPECT_EQ(NumberShown(control), c.repaired) << c.name << " = " << c.set << " on " << control;
  }
}

TEST_F(PanelBindingTest, ThresholdCurveCarriesTheRepairedThreshold) {
  for (u16 set : {u16{10}, u16{2000}, u16{640}}) {
    vThd = set;
    SetPanelValues();
    EXPECT_TRUE(std::all_of(std::begin(thdArray), std::end(thdArray), [](u16 t) { return t == vThd; }))
        << set;
    const auto plots = InspectGraphPlots(pHandle, MAIN_GRAPHvideo);
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(plots[1].ys, std::vector<double>(VIDEO_POINTS, vThd)) << set;
  }
}

TEST_F(PanelBindingTest, ToleranceGroupIsDimmedForHardwareModesOneAndThree) {
  const struct {
    u16 eHardware;
    int dimmed;
  } cases[] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {7, 1}};
  for (const auto& c : cases) {
    eHardware = c.eHardware;
    SetPanelValues();
    EXPECT_EQ(Attribute(pHandle, MAIN_NEDITTolerance, ATTR_DIMMED), c.dimmed) << c.eHardware;
    EXPECT_EQ(Attribute(pHandle, MAIN_RNGtolMode, ATTR_DIMMED), c.dimmed) << c.eHardware;
  }
}

TEST_F(PanelBindingTest, AnalogGroupIsShownAboveModeOne) {
  const struct {
    u16 anaMode;
    int visible;
  } cases[] = {{0, 0}, {1, 0}, {2, 1}, {5, 1}, {9, 0}};
  for (const auto& c : cases) {
    anaMode = c.anaMode;
    SetPanelValues();
    for (int id : {MAIN_NUManaMax, MAIN_NUManaMin, MAIN_ButtonReset, MAIN_DECOanaMaxMin})
      EXPECT_EQ(Attribute(pHandle, id, ATTR_VISIBLE), c.visible) << "anaMode " << c.anaMode << " control " << id;
  }
}

TEST_F(PanelBindingTest, TwoCallsLeaveTwoGreyRangesAndTwoGreenBands) {
  tVal = 10, tTol = 20, eBeg = 33, eEnd = 777, ccdpixE = 2048;
  SetPanelValues();
  SetPanelValues();
  const auto rects = Rectangles(MAIN_GRAPHbar);
  ASSERT_EQ(rects.size(), 4u);
  for (int i : {0, 2}) {
    EXPECT_EQ(rects[i].colour, VAL_LT_GRAY);
    EXPECT_EQ(rects[i].fillColour, VAL_LT_GRAY);
    EXPECT_EQ(rects[i].x1, 0.0);
    EXPECT_EQ(rects[i].x2, 8192.0);
    EXPECT_EQ(rects[i].y2, 1.0);
  }
  for (int i : {1, 3}) {
    EXPECT_EQ(rects[i].colour, VAL_GREEN);
    EXPECT_EQ(rects[i].fillColour, VAL_GREEN);
    EXPECT_EQ(rects[i].x1, -10.0) << "a signed left end";
    EXPECT_EQ(rects[i].x2, 30.0);
    EXPECT_EQ(rects[i].y1, 0.0);
    EXPECT_EQ(rects[i].y2, 0.25);
  }
  double y = 0;
  EXPECT_EQ(CursorX(MAIN_GRAPHbar, 2, &y), 33);
  EXPECT_EQ(y, 0.75);
  EXPECT_EQ(CursorX(MAIN_GRAPHbar, 3, &y), 777);
  EXPECT_EQ(y, 0.75);
  int mode = -1;
  double lo = 0, hi = 0;
  GetAxisScalingMode(pHandle, MAIN_GRAPHbar, VAL_BOTTOM_XAXIS, &mode, &lo, &hi);
  EXPECT_EQ(lo, 1.0);
  EXPECT_EQ(hi, 2048.0);
}

TEST_F(PanelBindingTest, DimmButtonsLocksExactlyTheCommandButtonsAndTheRecorderStart) {
  pcbtype = BOARD_WITH_ANALOG_OUTPUT;  // RESET MAX/MIN is one of the buttons set free
  DimmButtons(0);
  const auto mainBefore = DimmedStates(pHandle);
  const auto popupBefore = DimmedStates(pPopup);
  const std::vector<int> locked = {MAIN_BTNRun,     MAIN_BTNVideo, MAIN_BTNStop, MAIN_ButtonTeach,
                                   MAIN_BTNGet,     MAIN_BTNSend,  MAIN_ButtonReset};
  for (int id : locked) EXPECT_FALSE(mainBefore.at(id)) << id;
  EXPECT_FALSE(popupBefore.at(RECORDER_BTNStartRecord));

  DimmButtons(1);
  const auto mainOne = DimmedStates(pHandle);
  const auto popupOne = DimmedStates(pPopup);
  for (const auto& [id, dimmed] : mainOne) {
    const bool isLocked = std::find(locked.begin(), locked.end(), id) != locked.end();
    EXPECT_EQ(dimmed, isLocked ? true : mainBefore.at(id)) << "main control " << id;
  }
  for (const auto& [id, dimmed] : popupOne)
    EXPECT_EQ(dimmed, id == RECORDER_BTNStartRecord ? true : popupBefore.at(id)) << "popup control " << id;

  DimmButtons(0);
  EXPECT_EQ(DimmedStates(pHandle), mainBefore);
  EXPECT_EQ(DimmedStates(pPopup), popupBefore);

  DimmButtons(2);
  EXPECT_EQ(DimmedStates(pHandle), mainOne);
  EXPECT_EQ(DimmedStates(pPopup), popupOne);
  DimmButtons(0);
}

TEST_F(PanelBindingTest, ShownAppliedPowerBecomesThePowerSettingOnTheNextRead) {
  powMode = 1;
  SetPanelValues();
  dynpower = 432;
  PlotVIDEOBarGraph();
  GetPanelValues();
  EXPECT_EQ(power, 432);
}
