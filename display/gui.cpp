// Video curve, position bar and trend chart. Each routine runs once per answer of the sensor:
// fixed work, no allocation; the user-interface services coalesce the painting.
#include "display/gui.h"

#include <cstdio>
#include <cstring>

#include "display/gui_math.h"
#include "display/sensor_set.h"
#include "link/com232_paraset.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

using namespace gui_math;

double arrayNORM[TREND_SIZE] = {};
int videoLineTaken = 0;
signal_check::Result signalCheck;
int signalCheckMenuItem = 0;

namespace {

constexpr double CURSOR_HEIGHT = 0.75;
constexpr double RED_BOTTOM = 0.25;
constexpr double RED_TOP = 1.0;
constexpr double GREEN_BOTTOM = 0.0;
constexpr double GREEN_TOP = 0.35;
constexpr double RESTING_BAND_BOTTOM = 0.0;  // the band of the bar at rest: its lower quarter
constexpr double RESTING_BAND_TOP = 0.25;
constexpr double UM_PER_MM = 1000.0;

constexpr int TREND_POINTS_PER_SCREEN = TREND_SAMPLES + 1;
constexpr int TREND_SCROLL_CONTINUOUS = 1;
constexpr int kTraceColours[TREND_TRACES] = {VAL_DK_GREEN, VAL_DK_GREEN, VAL_BLACK,
                                             VAL_RED,      VAL_RED,      VAL_BLACK};

constexpr int WINDOW_SHADE = 0xDCE8F8;           // pale blue: the edge window
constexpr int WINDOW_SHADE_REVERSED = 0xF8DCDC;  // pale red: a window whose limits are crossed
constexpr int NOTE_VERDICT = VAL_BLACK;
constexpr int NOTE_SUGGESTION = 0x404040;
constexpr int NOTE_WARNING = 0xC00000;
constexpr int NOTE_TEXT_SIZE = 96;

// The check of the drawn line with the drawn threshold (the threshold field, also while the
// operator is still setting it) and the edge window, polarity and edge mode in effect.
void PlotSignalCheck(const u16 y[VIDEO_POINTS], const double x[VIDEO_POINTS]) {
  const signal_check::Settings s{thdArray[0], eBeg, eEnd, polarity, eMode};
  signalCheck = signal_check::Check(y, x, VIDEO_POINTS, YAXISMAX, s);
  const signal_check::Result& r = signalCheck;

  SetGraphShade(pHandle, MAIN_GRAPHvideo, eBeg, eEnd,
                (r.warnings & signal_check::WARN_WINDOW_REVERSED) ? WINDOW_SHADE_REVERSED
                                                                  : WINDOW_SHADE);
  double xs[signal_check::MAX_EDGES];
  double ys[signal_check::MAX_EDGES];
  const int marks = r.edgeCount < signal_check::MAX_EDGES ? r.edgeCount : signal_check::MAX_EDGES;
  for (int i = 0; i < marks; ++i) {
    xs[i] = r.edges[i].position;
    ys[i] = s.vThd;
  }
  SetGraphMarks(pHandle, MAIN_GRAPHvideo, xs, ys, marks, VAL_BLUE);

  int line = 0;
  SetGraphNote(pHandle, MAIN_GRAPHvideo, line++, r.verdict, NOTE_VERDICT);
  char text[NOTE_TEXT_SIZE];
  const char* power = r.power == signal_check::POWER_RAISE   ? "raise the power"
                      : r.power == signal_check::POWER_LOWER ? "lower the power"
                                                             : "power right";
  std::snprintf(text, sizeof text, "Suggested threshold %u, %s",
                static_cast<unsigned>(r.suggestedThreshold), power);
  SetGraphNote(pHandle, MAIN_GRAPHvideo, line++, text, NOTE_SUGGESTION);
  if (signalCheckMenuItem > 0) {
    std::snprintf(text, sizeof text, "%s (%u)", SIGNAL_CHECK_MENU_TEXT,
                  static_cast<unsigned>(r.suggestedThreshold));
    SetGraphMenuItem(pHandle, MAIN_GRAPHvideo, signalCheckMenuItem, text, 0);
  }
  for (int k = 0; k < signal_check::WARNING_COUNT && line < GRAPH_NOTE_LINES; ++k) {
    const auto w = static_cast<signal_check::Warning>(1u << k);
    if (r.warnings & w)
      SetGraphNote(pHandle, MAIN_GRAPHvideo, line++, signal_check::WarningText(w), NOTE_WARNING);
  }
  while (line < GRAPH_NOTE_LINES) SetGraphNote(pHandle, MAIN_GRAPHvideo, line++, "", NOTE_WARNING);
}

void WriteIndicators() {
  SetCtrlVal(pHandle, MAIN_NUMledge, Ledge);
  SetCtrlVal(pHandle, MAIN_NUMredge, Redge);
  SetCtrlVal(pHandle, MAIN_NUMmvalue2, Mvalue);
  SetCtrlVal(pHandle, MAIN_NUMmvalue, Mvalue);
  SetCtrlVal(pHandle, MAIN_NUMgapVal, gapVal);
  SetCtrlVal(pHandle, MAIN_NUMtTol, tTol);
  // A setpoint or power the operator changed and has not sent stays as typed: the sensor's own
  // value is in its tooltip.
  if (!SettingUnsent(TVAL_WORD)) SetCtrlVal(pHandle, MAIN_NUMtVal, tVal);
  SetCtrlVal(pHandle, MAIN_NUManaMax, anaMax);
  SetCtrlVal(pHandle, MAIN_NUManaMin, anaMin);
  SetCtrlVal(pHandle, MAIN_NUMgapLen, gapLen);
  SetCtrlVal(pHandle, MAIN_NUMedcnt, edcnt);
  SetCtrlVal(pHandle, MAIN_NUMgapPix, gapPix);
  // umValue is a 32-bit count of micrometres; the indicator shows millimetres.
  SetCtrlVal(pHandle, MAIN_NUMumValue, static_cast<double>(umValue) / UM_PER_MM);
  // With power regulation on, the power control follows the power the sensor applies.
  if (powMode > 0 && !SettingUnsent(POWER_WORD)) SetCtrlVal(pHandle, MAIN_NUMpower, dynpower);
}

// What the panel shows of the sensor's results (the setting mirrors excepted).
constexpr int kResultIndicators[] = {MAIN_NUMledge,  MAIN_NUMredge,  MAIN_NUMmvalue,  MAIN_NUMmvalue2,
                                     MAIN_NUMgapVal, MAIN_NUMgapLen, MAIN_NUMgapPix,  MAIN_NUMedcnt,
                                     MAIN_NUMumValue, MAIN_NUManaMax, MAIN_NUManaMin};

}  // namespace

void DrawRestingBar(void) {
  DeleteGraphPlot(pHandle, MAIN_GRAPHbar, VAL_ALL_PLOTS, VAL_NO_DRAW);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 1, tVal, 1.0);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 2, eBeg, 1.0);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 3, eEnd, 1.0);
  DrawToleranceBand();
}

void DrawToleranceBand(void) {
  const Span band = ToleranceBand(tVal, tTol);
  PlotRectangle(pHandle, MAIN_GRAPHbar, band.x1, RESTING_BAND_BOTTOM, band.x2, RESTING_BAND_TOP,
                VAL_GREEN, VAL_GREEN);
}

void ClearResults(void) {
  Ledge = Redge = Mvalue = 0;
  umValue = 0;
  edcnt = mvstart = mvend = dynpower = anaMax = anaMin = gapLen = gapVal = gapPix = 0;
  for (int id : kResultIndicators) SetCtrlVal(pHandle, id, 0);
  std::memset(arrayNORM, 0, sizeof arrayNORM);
  ClearStripChart(pHandle, MAIN_CHARTraw);
  std::memset(adcbuf, 0, sizeof adcbuf);
  videoLineTaken = 0;
  signalCheck = {};
  DeleteGraphPlot(pHandle, MAIN_GRAPHvideo, VAL_ALL_PLOTS, VAL_DELAYED_DRAW);
  SetGraphShade(pHandle, MAIN_GRAPHvideo, 0, 0, -1);
  SetGraphMarks(pHandle, MAIN_GRAPHvideo, nullptr, nullptr, 0, VAL_BLUE);
  for (int line = 0; line < GRAPH_NOTE_LINES; ++line) SetGraphNote(pHandle, MAIN_GRAPHvideo, line, "", NOTE_WARNING);
  if (signalCheckMenuItem > 0)
    SetGraphMenuItem(pHandle, MAIN_GRAPHvideo, signalCheckMenuItem, SIGNAL_CHECK_MENU_TEXT, 1);
  DrawRestingBar();
}

void ShowResultsLive(int live) {
  for (int id : kResultIndicators) {
    // The analog pair stays dimmed on a board without analog output.
    const bool analog = id == MAIN_NUManaMax || id == MAIN_NUManaMin;
    if (live && analog && pcbtype != BOARD_WITH_ANALOG_OUTPUT) continue;
    SetCtrlAttribute(pHandle, id, ATTR_DIMMED, live ? 0 : 1);
  }
}

void PlotVIDEOCurve(const u16 y[VIDEO_POINTS], const double x[VIDEO_POINTS]) {
  SetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, YAXISMAX);
  DeleteGraphPlot(pHandle, MAIN_GRAPHvideo, VAL_ALL_PLOTS, VAL_DELAYED_DRAW);
  PlotXY(pHandle, MAIN_GRAPHvideo, x, y, VIDEO_POINTS, VAL_DOUBLE, VAL_UNSIGNED_SHORT_INTEGER,
         VAL_CONNECTED_POINTS, VAL_SOLID_SQUARE, VAL_SOLID, 1, VAL_RED);
  PlotXY(pHandle, MAIN_GRAPHvideo, x, thdArray, VIDEO_POINTS, VAL_DOUBLE,
         VAL_UNSIGNED_SHORT_INTEGER, VAL_CONNECTED_POINTS, VAL_SOLID_SQUARE, VAL_SOLID, 1,
         VAL_DK_GREEN);
  if (videoLineTaken) PlotSignalCheck(y, x);
}

void PlotVIDEOBarGraph(void) {
  u16 p = CursorPosition(eMode, Ledge, Redge);
  WriteIndicators();

  SetAxisScalingMode(pHandle, MAIN_GRAPHbar, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1.0, ccdsubpixel);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 2, eBeg, CURSOR_HEIGHT);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 3, eEnd, CURSOR_HEIGHT);
  DeleteGraphPlot(pHandle, MAIN_GRAPHbar, VAL_ALL_PLOTS, VAL_NO_DRAW);

  p = ClipPosition(p, pixB, pixE, ccdsubpixel);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 1, p, CURSOR_HEIGHT);

  Span spans[2];
  const int red = RedRanges(edcnt, mvstart, mvend, Ledge, Redge, pixE, spans);
  for (int i = 0; i < red; ++i)
    PlotRectangle(pHandle, MAIN_GRAPHbar, spans[i].x1, RED_BOTTOM, spans[i].x2, RED_TOP,
                  VAL_RED, VAL_RED);

  // Drawn after the red ranges, so a band lies over them where both meet.
  const int green = GreenBands(eMode, edcnt, p, tVal, tTol, ccdsubpixel, spans);
  for (int i = 0; i < green; ++i)
    PlotRectangle(pHandle, MAIN_GRAPHbar, spans[i].x1, GREEN_BOTTOM, spans[i].x2, GREEN_TOP,
                  VAL_GREEN, VAL_GREEN);
}

void PlotRAWGraphX8(void) {
  const int analog = AnalogTraceValue(anaMode, Mvalue, anaMax, anaMin, ccdmaxpixelX8);
  Shift(arrayNORM, TREND_SIZE, -TREND_TRACES, arrayNORM);

  const Span limits = ToleranceLimits(tVal, tTol, ccdmaxpixelX8);
  double* newest = arrayNORM + TREND_SIZE - TREND_TRACES;
  newest[0] = limits.x2;
  newest[1] = limits.x1;
  newest[2] = tVal;
  newest[3] = Mvalue;
  newest[4] = analog;
  newest[5] = gapVal;

  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_POINTS_PER_SCREEN, TREND_POINTS_PER_SCREEN);
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_SCROLL_MODE, TREND_SCROLL_CONTINUOUS);
  for (int t = 0; t < TREND_TRACES; ++t)
    SetTraceAttribute(pHandle, MAIN_CHARTraw, t + 1, ATTR_TRACE_COLOR, kTraceColours[t]);
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_NUM_TRACES, TREND_TRACES);

  // The identification's fixed range (0 .. the whole line) would flatten setpoint and
  // tolerance into one line; the window follows them instead.
  const Window w = TrendWindow(tVal, tTol, Mvalue, ccdmaxpixelX8);
  SetAxisScalingMode(pHandle, MAIN_CHARTraw, VAL_LEFT_YAXIS, VAL_MANUAL, w.lo, w.hi);

  PlotStripChart(pHandle, MAIN_CHARTraw, arrayNORM, TREND_SIZE, 0, 0, VAL_DOUBLE);
}

int Shift(const double* x, int n, int shifts, double* y) {
  if (n < 1) return SHIFT_ERR_COUNT;
  // Widened before the sign is dropped: the most negative int has no positive counterpart.
  const long long s = shifts < 0 ? -static_cast<long long>(shifts) : shifts;
  if (s >= n) return SHIFT_ERR_RANGE;
  if (shifts == 0) return Copy1D(x, n, y);
  const int k = static_cast<int>(s);
  if (shifts > 0) {
    // From the end down, so an in-place shift reads each value before it is overwritten.
    for (int i = n - k - 1; i >= 0; --i) y[i + k] = x[i];
    for (int i = 0; i < k; ++i) y[i] = 0.0;
  } else {
    for (int i = 0; i <= n - k - 1; ++i) y[i] = x[i + k];
    for (int i = n - k; i < n; ++i) y[i] = 0.0;
  }
  return 0;
}

int Copy1D(const double* x, int n, double* y) {
  if (n < 1) return SHIFT_ERR_COUNT;
  if (x != y) std::memmove(y, x, static_cast<size_t>(n) * sizeof(double));
  return 0;
}
