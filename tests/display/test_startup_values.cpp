// Start-up reads the panel's own values as the settings and draws the position bar and the
// threshold from them, whatever defaults the program starts with.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_panel.h"
#include "display_fixture.h"

TEST(StartUpValues, PanelValuesReplaceTheDefaultsAndDrawTheBar) {
  std::string why;
  ASSERT_TRUE(LoadDisplayPanels(&why)) << why;
  struct Setting {
    int control;
    u16* variable;
    u16 panelValue;
  };
  const Setting settings[] = {
      {MAIN_NUMpower, &power, 640},         {MAIN_RNGtolMode, &tolMode, 3},
      {MAIN_NUMVideoThreshold, &vThd, 700}, {MAIN_RNGanaMode, &anaMode, 2},
      {MAIN_RNGpolarity, &polarity, 0},     {MAIN_RNGeMode, &eMode, 2},
      {MAIN_NEDITEdgeLeft, &eBeg, 12},      {MAIN_NEDITEdgeRight, &eEnd, 1000},
      {MAIN_NUMtVal, &tVal, 50},            {MAIN_NEDITTolerance, &tTol, 100},
      {MAIN_DropHardwareMode, &eHardware, 0}, {MAIN_NUMaverage, &average, 16},
      {MAIN_RNGpowMode, &powMode, 1},       {MAIN_BINSWopMode, &opMode, 1},
      {MAIN_NUMslope, &slope, 900},
  };
  for (const Setting& s : settings) SetCtrlVal(pHandle, s.control, s.panelValue);

  InitVars();

  for (const Setting& s : settings) EXPECT_EQ(*s.variable, s.panelValue) << s.control;
  EXPECT_EQ(intersect, YOFFSET);
  double y = 0;
  EXPECT_EQ(CursorX(MAIN_GRAPHbar, 1, &y), 50);
  EXPECT_EQ(y, 1.0);
  EXPECT_EQ(CursorX(MAIN_GRAPHbar, 2), 12);
  EXPECT_EQ(CursorX(MAIN_GRAPHbar, 3), 1000);
  const auto rects = Rectangles(MAIN_GRAPHbar);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].colour, VAL_GREEN);
  EXPECT_EQ(rects[0].x1, -50.0);
  EXPECT_EQ(rects[0].x2, 150.0);
  EXPECT_EQ(rects[0].y2, 0.25);
  EXPECT_TRUE(std::all_of(std::begin(thdArray), std::end(thdArray), [](u16 t) { return t == 700; }));
}
