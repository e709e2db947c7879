// Cost per result frame of the live display without painting: the indicators and position bar
// plus the trend chart (run after every result frame), and the video curve (after every video
// pass). The user-interface services only schedule repaints here; no event is processed, so
// what is measured is the routines' own work and the graph content updates.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "state/globals.h"
#include "display/gauge_stats.h"
#include "display/gui.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

namespace {

// Result values that move a little from frame to frame, like a drifting edge.
void NextResults(int frame) {
  Ledge = static_cast<u16>(300 + frame % 17);
  Redge = static_cast<u16>(700 - frame % 13);
  Mvalue = static_cast<u16>((Ledge + Redge) / 2);
  umValue = 100000u + static_cast<u32>(frame % 1000);
  edcnt = 2;
  gapVal = static_cast<u16>(frame % 50);
}

void BM_BarGraphAndTrendPerResultFrame(benchmark::State& state) {
  eMode = 2;
  tVal = 101;
  tTol = 21;
  anaMode = 3;
  int frame = 0;
  for (auto _ : state) {
    NextResults(frame++);
    PlotVIDEOBarGraph();
    PlotRAWGraphX8();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BarGraphAndTrendPerResultFrame);

void BM_VideoCurvePerVideoPass(benchmark::State& state) {
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    xArray8[i] = i * 32.0;
    adcbuf[i] = static_cast<u16>(i * 3);
    thdArray[i] = 512;
  }
  for (auto _ : state) {
    PlotVIDEOCurve(adcbuf, xArray8);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VideoCurvePerVideoPass);

// The same with the signal check of the line drawn over it, as once a line was taken: a line
// with two dark objects and some noise, so edges, levels and noise are all worked out.
void BM_VideoCurveWithSignalCheckPerVideoPass(benchmark::State& state) {
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    xArray8[i] = i * 4.0;
    const bool dark = (i > 60 && i < 110) || (i > 170 && i < 200);
    adcbuf[i] = static_cast<u16>((dark ? 80 : 780) + (i * 7919) % 13);
    thdArray[i] = 430;
  }
  eBeg = 1;
  eEnd = 1024;
  videoLineTaken = 1;
  for (auto _ : state) {
    PlotVIDEOCurve(adcbuf, xArray8);
    benchmark::ClobberMemory();
  }
  videoLineTaken = 0;
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VideoCurveWithSignalCheckPerVideoPass);

// What the gauge adds to one result frame: the M-value judged against the bar's band and taken
// into its running figures and window of the last 1000, and the gap value (no band) likewise.
// The quantities are globals, as in the program: a window holds 100000 slots.
gauge::Quantity gaugeMvalue;
gauge::Quantity gaugeGap;

void BM_GaugeJudgeAndAddPerResultFrame(benchmark::State& state) {
  gauge::Reset(gaugeMvalue);
  gauge::Reset(gaugeGap);
  gauge::SetCapacity(gaugeMvalue.last, gauge::WINDOW_DEFAULT);
  gauge::SetCapacity(gaugeGap.last, gauge::WINDOW_DEFAULT);
  const gauge::Limits band = gauge::BandLimits(2, 0, 400, 20, 1024);
  const gauge::Limits none{};
  int frame = 0;
  for (auto _ : state) {
    NextResults(frame++);
    const double m = Redge - Ledge;
    const bool mOut = gauge::Judge(m, band, 2, edcnt) == gauge::Verdict::Nok;
    gauge::Add(gaugeMvalue.all, m, mOut);
    gauge::Add(gaugeMvalue.last, m, mOut);
    const bool gOut = gauge::Judge(gapVal, none, 2, edcnt) == gauge::Verdict::Nok;
    gauge::Add(gaugeGap.all, gapVal, gOut);
    gauge::Add(gaugeGap.last, gapVal, gOut);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GaugeJudgeAndAddPerResultFrame);

// The figures of a full window of 1000, as the gauge window asks a few times a second.
void BM_GaugeSummarizeWindowOf1000(benchmark::State& state) {
  gauge::Reset(gaugeMvalue);
  gauge::SetCapacity(gaugeMvalue.last, gauge::WINDOW_DEFAULT);
  const gauge::Limits band = gauge::BandLimits(2, 0, 400, 20, 1024);
  for (int frame = 0; frame < gauge::WINDOW_DEFAULT; ++frame) {
    NextResults(frame);
    gauge::Add(gaugeMvalue.last, Redge - Ledge, false);
  }
  for (auto _ : state) {
    const gauge::Summary s = gauge::Summarize(gaugeMvalue.last, band);
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GaugeSummarizeWindowOf1000);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  if (!InitCVIRTE(argc, argv)) return 2;
  RequireControls(kRequiredControls, kRequiredControlCount);
  pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
  if (pHandle < 0) {
    std::fprintf(stderr, "bench_display: %s\n", GetLoadPanelError());
    return 2;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  DiscardPanel(pHandle);
  CloseCVIRTE();
  return 0;
}
