// The live gauge: the lamp, the counters and the statistics state, fed by every result frame.
#include "display/gauge_view.h"

#include <cstdio>

#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

gauge::Quantity gaugeMvalue;
gauge::Quantity gaugeGap;
long long gaugeResults = 0;
long long gaugeNok = 0;
int gaugeRunning = 0;
gauge::Verdict gaugeVerdict = gauge::Verdict::NotJudged;
void (*gaugeFiguresChanged)(void) = nullptr;

namespace {

constexpr double COUNTS_PACE = 0.1;   // seconds between two writes of the counters text
constexpr double FIGURES_PACE = 0.25; // seconds between two refreshes of the figures

double gCountsShownAt = -1.0;
double gFiguresShownAt = -1.0;
gauge::Verdict gShownVerdict = gauge::Verdict::Nok;  // not what a fresh panel shows: drawn once
bool gLampDrawn = false;

void ShowLamp() {
  const gauge::Verdict shown = gaugeRunning ? gaugeVerdict : gauge::Verdict::NotJudged;
  if (gLampDrawn && shown == gShownVerdict) return;
  const char* text = shown == gauge::Verdict::Ok ? "OK" : shown == gauge::Verdict::Nok ? "NOK" : "-";
  const int colour = shown == gauge::Verdict::Ok    ? LAMP_OK_COLOUR
                     : shown == gauge::Verdict::Nok ? LAMP_NOK_COLOUR
                                                    : LAMP_IDLE_COLOUR;
  SetCtrlVal(pHandle, MAIN_STRjudgement, text);
  SetCtrlAttribute(pHandle, MAIN_STRjudgement, ATTR_TEXT_BGCOLOR, colour);
  gShownVerdict = shown;
  gLampDrawn = true;
}

void ShowCounts() {
  char text[96];
  if (gaugeResults == 0) {
    CopyText(text, "No results yet");
  } else {
    std::snprintf(text, sizeof text, "%lld results, %lld NOK (%.1f %%)", gaugeResults, gaugeNok,
                  100.0 * static_cast<double>(gaugeNok) / static_cast<double>(gaugeResults));
  }
  SetCtrlVal(pHandle, MAIN_STRcounts, text);
}

void AddTo(gauge::Quantity& q, double x, bool outside) {
  gauge::Add(q.all, x, outside);
  gauge::Add(q.last, x, outside);
}

}  // namespace

gauge::Limits GaugeLimits(void) { return gauge::BandLimits(eMode, eHardware, tVal, tTol, ccdsubpixel); }

void GaugeReset(void) {
  gauge::Reset(gaugeMvalue);
  gauge::Reset(gaugeGap);
  gaugeResults = gaugeNok = 0;
  ShowGauge();
  if (gaugeFiguresChanged) gaugeFiguresChanged();
}

void GaugeLoopStarted(void) {
  gaugeRunning = 1;
  gaugeVerdict = gauge::Verdict::NotJudged;
  GaugeReset();
}

void GaugeLoopEnded(void) {
  gaugeRunning = 0;
  ShowGauge();
  if (gaugeFiguresChanged) gaugeFiguresChanged();
}

void GaugeTakeResult(void) {
  const gauge::Limits limits = GaugeLimits();
  gaugeVerdict = gauge::Judge(Mvalue, limits, eMode, edcnt);
  ++gaugeResults;
  if (gaugeVerdict == gauge::Verdict::Nok) ++gaugeNok;
  // A result the band cannot judge although it is in use (no edge for the two bands of the
  // centre mode) has no M-value to count.
  if (!limits.valid || gaugeVerdict != gauge::Verdict::NotJudged) {
    AddTo(gaugeMvalue, Mvalue, gaugeVerdict == gauge::Verdict::Nok);
    AddTo(gaugeGap, gapVal, false);
  }
  ShowLamp();
  // Texts and figures follow at a pace a person can read, not at every frame.
  const double now = Timer();
  if (now - gCountsShownAt >= COUNTS_PACE || gCountsShownAt < 0) {
    ShowCounts();
    gCountsShownAt = now;
  }
  if (gaugeFiguresChanged && (now - gFiguresShownAt >= FIGURES_PACE || gFiguresShownAt < 0)) {
    gaugeFiguresChanged();
    gFiguresShownAt = now;
  }
}

int WholeNumberBins(double lo, double hi, int maxBins, double* width) {
  int bins = static_cast<int>(hi - lo);
  bins = bins < 1 ? 1 : bins > maxBins ? maxBins : bins;
  *width = (hi - lo) / bins;
  return bins;
}

void DrawHistogram(int panel, int graph, double lo, double width, int bins, const double counts[],
                   const double fitted[], const gauge::Limits& limits) {
  constexpr int MOST_BINS = 64;
  bins = bins > MOST_BINS ? MOST_BINS : bins;
  DeleteGraphPlot(panel, graph, VAL_ALL_PLOTS, VAL_NO_DRAW);
  double top = 1.0;
  for (int i = 0; i < bins; ++i) {
    top = counts[i] > top ? counts[i] : top;
    if (fitted) top = fitted[i] > top ? fitted[i] : top;
  }
  top *= 1.1;
  SetAxisScalingMode(panel, graph, VAL_BOTTOM_XAXIS, VAL_MANUAL, lo, lo + bins * width);
  SetAxisScalingMode(panel, graph, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, top);
  for (int i = 0; i < bins; ++i)
    if (counts[i] > 0)
      PlotRectangle(panel, graph, lo + i * width, 0.0, lo + (i + 1) * width, counts[i], HISTOGRAM_BAR_COLOUR,
                    HISTOGRAM_BAR_COLOUR);
  if (fitted) {
    double xs[MOST_BINS];
    for (int i = 0; i < bins; ++i) xs[i] = lo + (i + 0.5) * width;
    PlotXY(panel, graph, xs, fitted, bins, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_SOLID_SQUARE, VAL_SOLID, 1,
           HISTOGRAM_CURVE_COLOUR);
  }
  if (!limits.valid) return;
  for (double x : {limits.lower, limits.upper}) {
    const double lx[2] = {x, x}, ly[2] = {0.0, top};
    PlotXY(panel, graph, lx, ly, 2, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_SOLID_SQUARE, VAL_SOLID, 1,
           HISTOGRAM_LIMIT_COLOUR);
  }
}

void ShowGauge(void) {
  gLampDrawn = false;
  ShowLamp();
  ShowCounts();
  gCountsShownAt = Timer();
}
