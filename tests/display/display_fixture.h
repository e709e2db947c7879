// Shared set-up of the display tests: the program's two real panels, loaded once per test
// executable, and the globals put back to the start-up defaults before each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/globals.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "resources/panels.h"

inline bool LoadDisplayPanels(std::string* why) {
  static bool loaded = false;
  static std::string error;
  if (!loaded && error.empty()) {
    RequireControls(kRequiredControls, kRequiredControlCount);
    pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
    if (pHandle < 0) error = std::string("main panel: ") + GetLoadPanelError();
    if (error.empty()) {
      pPopup = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_RECORDER);
      if (pPopup < 0) error = std::string("recorder panel: ") + GetLoadPanelError();
    }
    loaded = error.empty();
  }
  *why = error;
  return loaded;
}

inline void ResetDisplayGlobals() {
  power = 500, tolMode = 0, vThd = 512, anaMode = 0, polarity = 1, eMode = 1, eBeg = 1;
  eEnd = 1024, tVal = 512, tTol = 100, opMode = 0, eHardware = 1, slope = SLOPEMULTI;
  intersect = YOFFSET, average = 0, powMode = 0;
  Ledge = Redge = Mvalue = 0;
  umValue = 0;
  edcnt = mvstart = mvend = dynpower = anaMax = anaMin = gapLen = gapVal = gapPix = 0;
  pixB = 1, pixE = 1024, ccdpixE = 1024, ccdsubpixel = 1024, ccdmaxpixel = 1024;
  ccdmaxpixelX8 = 8192, YAXISMAX = 1024;
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(LoadDisplayPanels(&why)) << why;
    ResetDisplayGlobals();
    DeleteGraphPlot(pHandle, MAIN_GRAPHbar, VAL_ALL_PLOTS, VAL_NO_DRAW);
    DeleteGraphPlot(pHandle, MAIN_GRAPHvideo, VAL_ALL_PLOTS, VAL_NO_DRAW);
  }
};

inline std::vector<InspectedPlot> Rectangles(int control) {
  std::vector<InspectedPlot> out;
  for (const InspectedPlot& p : InspectGraphPlots(pHandle, control))
    if (p.rectangle) out.push_back(p);
  return out;
}

inline double CursorX(int control, int cursor, double* y = nullptr) {
  double x = -1e9, yy = -1e9;
  EXPECT_TRUE(InspectGraphCursor(pHandle, control, cursor, &x, &yy)) << "cursor " << cursor;
  if (y) *y = yy;
  return x;
}

inline int Attribute(int panel, int control, int attribute) {
  int v = -1;
  EXPECT_EQ(GetCtrlAttribute(panel, control, attribute, &v), 0) << control;
  return v;
}

inline double NumberShown(int control) {
  double v = -1;
  EXPECT_EQ(GetCtrlVal(pHandle, control, &v), 0) << control;
  return v;
}
