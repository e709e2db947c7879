// Cost per result frame of the live display without painting: the indicators and position bar
// plus the trend chart (run after every result frame), and the video curve (after every video
// pass). The user-interface services only schedule repaints here; no event is processed, so
// what is measured is the routines' own work and the graph content updates.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "state/globals.h"
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
