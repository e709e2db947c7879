// The live display on the real main panel: indicators, position bar, trend chart and video
// curve, read back through the inspection interface.
#include <gtest/gtest.h>

#include <vector>

#include "display/gui.h"
#include "display_fixture.h"

namespace {

using GuiTest = PanelTest;

struct Rect {
  double x1, x2;
  bool operator==(const Rect&) const = default;
};

std::vector<Rect> RectsOfColour(int colour) {
  std::vector<Rect> out;
  for (const InspectedPlot& p : Rectangles(MAIN_GRAPHbar))
    if (p.colour == colour) out.push_back({p.x1, p.x2});
  return out;
}

std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << "[" << r.x1 << ", " << r.x2 << "]";
}

// The newest value of each trace of the trend chart.
std::vector<double> NewestTrendSample() {
  std::vector<double> out;
  for (const auto& trace : InspectStripChart(pHandle, MAIN_CHARTraw))
    out.push_back(trace.empty() ? -1 : trace.back());
  return out;
}

}  // namespace

TEST_F(GuiTest, PositionCursorFollowsEdgeModeThenIsClipped) {
  struct Case {
    u16 eMode, ledge, redge, pixB, pixE, sub;
    double expected;
  };
  const Case cases[] = {
      {0, 300, 700, 1, 1024, 1024, 300},   {1, 300, 700, 1, 1024, 1024, 700},
      {2, 0, 700, 1, 1024, 1024, 1},       {2, 0, 700, 20, 1024, 1024, 20},
      {3, 101, 200, 1, 1024, 1024, 150},   {4, 101, 0, 1, 1024, 1024, 1},
      {0, 5, 700, 10, 1024, 1024, 10},     {1, 300, 900, 1, 800, 1024, 800},
      {0, 0, 700, 0, 1024, 1024, 1},       {1, 300, 1500, 1, 2000, 1024, 1024},
  };
  for (const Case& c : cases) {
    eMode = c.eMode, Ledge = c.ledge, Redge = c.redge;
    pixB = c.pixB, pixE = c.pixE, ccdsubpixel = c.sub;
    PlotVIDEOBarGraph();
    double y = 0;
    EXPECT_EQ(CursorX(MAIN_GRAPHbar, 1, &y), c.expected)
        << "eMode " << c.eMode << " edges " << c.ledge << "/" << c.redge;
    EXPECT_EQ(y, 0.75);
  }
}

TEST_F(GuiTest, EdgeWindowCursorsAndBarAxis) {
  eBeg = 37, eEnd = 990, ccdsubpixel = 2048;
  PlotVIDEOBarGraph();
  double y2 = 0, y3 = 0;
  EXPECT_EQ(CursorX(MAIN_GRAPHbar, 2, &y2), 37);
  EXPECT_EQ(CursorX(MAIN_GRAPHbar, 3, &y3), 990);
  EXPECT_EQ(y2, 0.75);
  EXPECT_EQ(y3, 0.75);
  int mode = -1;
  double lo = 0, hi = 0;
  GetAxisScalingMode(pHandle, MAIN_GRAPHbar, VAL_BOTTOM_XAXIS, &mode, &lo, &hi);
  EXPECT_EQ(mode, VAL_MANUAL);
  EXPECT_EQ(lo, 1.0);
  EXPECT_EQ(hi, 2048.0);
}

TEST_F(GuiTest, RedRangesOutsideTheEdges) {
  struct Case {
    u16 edcnt, mvstart, mvend, ledge, redge;
    std::vector<Rect> expected;
  };
  const Case cases[] = {
      {1, 5, 9, 300, 700, {{300, 1000}}},
      {1, 9, 5, 300, 700, {{1, 300}}},
      {1, 5, 5, 300, 700, {{1, 300}}},
      {2, 5, 9, 300, 700, {{1, 300}, {700, 1000}}},
      {0, 5, 9, 300, 700, {{1, 300}, {700, 1000}}},
  };
  for (const Case& c : cases) {
    edcnt = c.edcnt, mvstart = c.mvstart, mvend = c.mvend, Ledge = c.ledge, Redge = c.redge;
    pixE = 1000;
    PlotVIDEOBarGraph();
    EXPECT_EQ(RectsOfColour(VAL_RED), c.expected) << "edcnt " << c.edcnt;
    for (const InspectedPlot& p : Rectangles(MAIN_GRAPHbar)) {
      if (p.colour != VAL_RED) continue;
      EXPECT_EQ(p.fillColour, VAL_RED);
      EXPECT_EQ(p.y1, 0.25);
      EXPECT_EQ(p.y2, 1.0);
    }
  }
}

TEST_F(GuiTest, GreenBandsAroundSetpointOrPosition) {
  struct Case {
    u16 eMode, edcnt, ledge, redge, tVal, tTol;
    std::vector<Rect> expected;
  };
  const Case cases[] = {
      {0, 1, 300, 700, 100, 150, {{1, 250}}},
      {2, 2, 400, 600, 101, 21, {{440, 460}, {540, 560}}},
      {2, 2, 10, 30, 101, 21, {{1, -20}, {60, 80}}},  // 20 - 50 - 10 < 0
      {2, 0, 400, 600, 101, 21, {}},
      {1, 2, 400, 600, 1000, 100, {{900, 1024}}},
  };
  for (const Case& c : cases) {
    eMode = c.eMode, edcnt = c.edcnt, Ledge = c.ledge, Redge = c.redge;
    tVal = c.tVal, tTol = c.tTol;
    PlotVIDEOBarGraph();
    EXPECT_EQ(RectsOfColour(VAL_GREEN), c.expected) << "eMode " << c.eMode;
  }
}

TEST_F(GuiTest, RestingBarReplacesTheResultAndDrawsTheWholeSignedBand) {
  // At rest the band is not clipped to the bar, unlike the band of a result frame.
  struct Case {
    u16 tVal, tTol;
    Rect expected;
  };
  const Case cases[] = {{512, 100, {412, 612}}, {10, 20, {-10, 30}}, {8000, 500, {7500, 8500}}};
  for (const Case& c : cases) {
    eMode = 1, edcnt = 2, Ledge = 400, Redge = 600, tVal = c.tVal, tTol = c.tTol;
    eBeg = 33, eEnd = 777;
    PlotVIDEOBarGraph();
    DrawRestingBar();
    const auto rects = Rectangles(MAIN_GRAPHbar);
    ASSERT_EQ(rects.size(), 1u) << "the result's ranges are gone, tVal " << c.tVal;
    EXPECT_EQ(rects[0].colour, VAL_GREEN);
    EXPECT_EQ((Rect{rects[0].x1, rects[0].x2}), c.expected);
    EXPECT_EQ(rects[0].y1, 0.0);
    EXPECT_EQ(rects[0].y2, 0.25);
    double x = 0, y = 0;
    ASSERT_TRUE(InspectGraphCursor(pHandle, MAIN_GRAPHbar, 1, &x, &y));
    EXPECT_EQ(x, c.tVal) << "cursor 1 rests on the setpoint";
    ASSERT_TRUE(InspectGraphCursor(pHandle, MAIN_GRAPHbar, 3, &x, &y));
    EXPECT_EQ(x, 777);
  }
}

TEST_F(GuiTest, EachCallReplacesTheBarAndGreenLiesOverRed) {
  eMode = 2, edcnt = 2, Ledge = 400, Redge = 600, tVal = 101, tTol = 21;
  PlotRectangle(pHandle, MAIN_GRAPHbar, 0, 0, 8192, 1, VAL_LT_GRAY, VAL_LT_GRAY);
  PlotVIDEOBarGraph();
  PlotVIDEOBarGraph();
  std::vector<int> colours;
  for (const InspectedPlot& p : Rectangles(MAIN_GRAPHbar)) {
    colours.push_back(p.colour);
    if (p.colour == VAL_GREEN) {
      EXPECT_EQ(p.y1, 0.0);
      EXPECT_EQ(p.y2, 0.35);
    }
  }
  EXPECT_EQ(colours, (std::vector<int>{VAL_RED, VAL_RED, VAL_GREEN, VAL_GREEN}));
}

TEST_F(GuiTest, IndicatorsShowTheResults) {
  Ledge = 301, Redge = 702, Mvalue = 503, gapVal = 14, tTol = 26, tVal = 405;
  anaMax = 888, anaMin = 11, gapLen = 12, edcnt = 2, gapPix = 15, umValue = 100000;
  PlotVIDEOBarGraph();
  struct Row {
    int control;
    double expected;
  };
  const Row rows[] = {{MAIN_NUMledge, 301},  {MAIN_NUMredge, 702},   {MAIN_NUMmvalue2, 503},
                      {MAIN_NUMmvalue, 503}, {MAIN_NUMgapVal, 14},   {MAIN_NUMtTol, 26},
                      {MAIN_NUMtVal, 405},   {MAIN_NUManaMax, 888},  {MAIN_NUManaMin, 11},
                      {MAIN_NUMgapLen, 12},  {MAIN_NUMedcnt, 2},     {MAIN_NUMgapPix, 15},
                      {MAIN_NUMumValue, 100.0}};
  for (const Row& r : rows) EXPECT_EQ(NumberShown(r.control), r.expected) << r.control;
}

TEST_F(GuiTest, MeasuredValueIsMillimetresOfAnUnsigned32BitCount) {
  const struct {
    u32 um;
    double shown;
  } cases[] = {{100000u, 100.0}, {87672u, 87.672}, {0xFFFFFFFFu, 4294967.295}, {1u, 0.001}};
  for (const auto& c : cases) {
    umValue = c.um;
    PlotVIDEOBarGraph();
    EXPECT_DOUBLE_EQ(NumberShown(MAIN_NUMumValue), c.shown) << c.um;
  }
}

TEST_F(GuiTest, PowerControlFollowsAppliedPowerOnlyWithPowerRegulation) {
  SetCtrlVal(pHandle, MAIN_NUMpower, static_cast<u16>(500));
  dynpower = 321;
  powMode = 0;
  PlotVIDEOBarGraph();
  EXPECT_EQ(NumberShown(MAIN_NUMpower), 500);
  powMode = 1;
  PlotVIDEOBarGraph();
  EXPECT_EQ(NumberShown(MAIN_NUMpower), 321);
}

TEST_F(GuiTest, TrendSampleHoldsLimitsSetpointMValueAnalogAndGap) {
  struct Case {
    u16 anaMode, tVal, tTol, mvalue, anaMax, anaMin, gap;
    std::vector<double> expected;  // traces 1..6
  };
  const Case cases[] = {
      {0, 512, 100, 530, 900, 100, 7, {612, 412, 512, 530, 530, 7}},
      {1, 512, 100, 531, 900, 100, 7, {612, 412, 512, 531, 531, 7}},
      {2, 512, 100, 530, 900, 100, 7, {612, 412, 512, 530, 900, 7}},
      {4, 512, 100, 530, 901, 100, 7, {612, 412, 512, 530, 901, 7}},
      {3, 512, 100, 530, 900, 101, 7, {612, 412, 512, 530, 101, 7}},
      {5, 512, 100, 530, 900, 102, 7, {612, 412, 512, 530, 102, 7}},
      {3, 512, 100, 530, 900, 8191, 7, {612, 412, 512, 530, 1, 7}},  // no minimum yet
      {6, 512, 100, 530, 900, 100, 7, {612, 412, 512, 530, 0, 7}},
      {0, 20, 30, 25, 0, 0, 0, {50, 1, 20, 25, 25, 0}},
      {0, 8000, 500, 8000, 0, 0, 0, {8191, 7500, 8000, 8000, 8000, 0}},
  };
  for (const Case& c : cases) {
    anaMode = c.anaMode, tVal = c.tVal, tTol = c.tTol, Mvalue = c.mvalue;
    anaMax = c.anaMax, anaMin = c.anaMin, gapVal = c.gap;
    PlotRAWGraphX8();
    EXPECT_EQ(NewestTrendSample(), c.expected) << "anaMode " << c.anaMode << " tVal " << c.tVal;
    EXPECT_EQ(std::vector<double>(arrayNORM + TREND_SIZE - TREND_TRACES, arrayNORM + TREND_SIZE),
              c.expected);
  }
}

TEST_F(GuiTest, TrendKeepsAHundredSamplesOldestFirst) {
  for (int k = 0; k < 150; ++k) {
    Mvalue = static_cast<u16>(1000 + k);
    PlotRAWGraphX8();
  }
  // The history holds the last 100 samples, oldest first.
  EXPECT_EQ(arrayNORM[3], 1050);
  EXPECT_EQ(arrayNORM[TREND_SIZE - 3], 1149);
  for (int k = 0; k < TREND_SAMPLES; ++k) ASSERT_EQ(arrayNORM[6 * k + 3], 1050 + k) << k;
  int traces = 0, points = 0;
  GetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_NUM_TRACES, &traces);
  GetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_POINTS_PER_SCREEN, &points);
  EXPECT_EQ(traces, 6);
  EXPECT_EQ(points, 101);
  const auto chart = InspectStripChart(pHandle, MAIN_CHARTraw);
  ASSERT_EQ(chart.size(), 6u);
  // The chart ends with the whole history of the last call.
  ASSERT_GE(chart[3].size(), 100u);
  for (int k = 0; k < TREND_SAMPLES; ++k)
    EXPECT_EQ(chart[3][chart[3].size() - TREND_SAMPLES + k], 1050 + k) << k;
}

TEST_F(GuiTest, TrendWindowIsAppliedToTheChart) {
  struct Case {
    u16 tVal, tTol, mvalue;
    double lo, hi;
  };
  const Case cases[] = {{512, 20, 512, 312, 712}, {512, 100, 1000, 112, 1200}, {100, 100, 100, 1, 500}};
  for (const Case& c : cases) {
    tVal = c.tVal, tTol = c.tTol, Mvalue = c.mvalue;
    PlotRAWGraphX8();
    int mode = -1;
    double lo = 0, hi = 0;
    ASSERT_EQ(GetAxisScalingMode(pHandle, MAIN_CHARTraw, VAL_LEFT_YAXIS, &mode, &lo, &hi), 0);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(lo, c.lo) << c.tVal << " " << c.tTol << " " << c.mvalue;
    EXPECT_EQ(hi, c.hi) << c.tVal << " " << c.tTol << " " << c.mvalue;
  }
}

TEST_F(GuiTest, VideoCurveAndThresholdAgainstTheVideoPositions) {
  u16 video[VIDEO_POINTS];
  double xs[VIDEO_POINTS];
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    video[i] = static_cast<u16>(i * 4);
    xs[i] = i * 32.0;
    thdArray[i] = 333;
  }
  YAXISMAX = 256;
  PlotVIDEOCurve(video, xs);
  PlotVIDEOCurve(video, xs);  // a second pass replaces the first
  const auto plots = InspectGraphPlots(pHandle, MAIN_GRAPHvideo);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_EQ(plots[0].colour, VAL_RED);
  EXPECT_EQ(plots[1].colour, VAL_DK_GREEN);
  ASSERT_EQ(plots[0].xs.size(), 256u);
  EXPECT_EQ(plots[0].xs[255], 255 * 32.0);
  EXPECT_EQ(plots[0].ys[255], 1020);
  EXPECT_EQ(plots[1].ys, std::vector<double>(256, 333));
  int mode = -1;
  double lo = -1, hi = -1;
  GetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 256.0);
}

TEST_F(GuiTest, SignalCheckIsDrawnOverTheVideoOnceALineWasTaken) {
  u16 video[VIDEO_POINTS];
  double xs[VIDEO_POINTS];
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    video[i] = i >= 100 && i < 156 ? 100 : 800;  // a dark object on words 100..155
    xs[i] = i * 4.0;
    thdArray[i] = 512;
  }
  eBeg = 200;
  eEnd = 1000;
  videoLineTaken = 0;
  PlotVIDEOCurve(video, xs);
  EXPECT_TRUE(InspectGraphOverlay(pHandle, MAIN_GRAPHvideo).notes.at(0).empty())
      << "no check before the sensor sent a line";

  videoLineTaken = 1;
  PlotVIDEOCurve(video, xs);
  InspectedOverlay o = InspectGraphOverlay(pHandle, MAIN_GRAPHvideo);
  EXPECT_EQ(InspectGraphPlots(pHandle, MAIN_GRAPHvideo).size(), 2u) << "curve and threshold only";
  EXPECT_TRUE(o.shaded);
  EXPECT_EQ(o.shadeX1, 200.0);
  EXPECT_EQ(o.shadeX2, 1000.0);
  EXPECT_EQ(o.shadeColour, 0xDCE8F8);
  ASSERT_EQ(o.markXs.size(), 2u);
  EXPECT_NEAR(o.markXs[0], 397.646, 1e-3);
  EXPECT_NEAR(o.markXs[1], 622.354, 1e-3);
  EXPECT_EQ(o.markYs, std::vector<double>(2, 512.0));
  EXPECT_EQ(o.notes.at(0), "Contrast 700, noise 0, no saturation - threshold 512 inside the signal");
  EXPECT_EQ(o.notes.at(1), "Suggested threshold 450, power right");
  EXPECT_EQ(o.notes.at(2), "");

  // The threshold as the field shows it, and a window whose limits are crossed.
  for (u16& t : thdArray) t = 900;
  eBeg = 900;
  eEnd = 300;
  PlotVIDEOCurve(video, xs);
  o = InspectGraphOverlay(pHandle, MAIN_GRAPHvideo);
  EXPECT_EQ(o.shadeColour, 0xF8DCDC);
  EXPECT_TRUE(o.markXs.empty());
  EXPECT_EQ(o.notes.at(0), "Contrast 700, noise 0, no saturation - threshold 900 above the signal");
  EXPECT_EQ(o.notes.at(2), "Threshold above the signal - no edge can be found");
  EXPECT_EQ(o.notes.at(3), "Edge window: left limit right of the right limit");
  EXPECT_EQ(o.notes.at(4), "");
  EXPECT_EQ(o.noteColours.at(2), 0xC00000);
  InspectFlushRepaints();  // painted with the rest
  videoLineTaken = 0;
}
