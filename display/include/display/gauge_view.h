// The live gauge on the main panel: every result judged OK or NOK against the tolerance band
// the position bar draws, a lamp beside the M-value box, and the counters since the loop
// started (results, NOK, % NOK). The figures of the statistics window come from the same
// state: the M-value and the gap value, since the start or the reset and over the last N.
#pragma once

#include "display/gauge_stats.h"
#include "state/globals.h"

/// Lamp colours.
constexpr int LAMP_OK_COLOUR = 0x1E9E3C;
constexpr int LAMP_NOK_COLOUR = 0xD01C1C;
constexpr int LAMP_IDLE_COLOUR = 0xB4B4B4;

/// The gauge's state (static storage: the windows are large).
extern gauge::Quantity gaugeMvalue;
extern gauge::Quantity gaugeGap;
extern long long gaugeResults;  ///< results since the loop started or the reset
extern long long gaugeNok;      ///< of them NOK
extern int gaugeRunning;        ///< 1 while a loop takes results
extern gauge::Verdict gaugeVerdict;  ///< the lamp's state

/// The band limits the gauge judges by now (from the settings).
gauge::Limits GaugeLimits(void);
/// A loop starts taking results: counters and statistics from zero, the lamp waits for the
/// first result.
void GaugeLoopStarted(void);
/// The loop has ended: the lamp goes grey; counters and statistics keep their figures.
void GaugeLoopEnded(void);
/// One result frame (its values in the result globals): judged, counted, added.
void GaugeTakeResult(void);
/// The operator's reset: counters and statistics from zero (the window keeps its N).
void GaugeReset(void);
/// Writes the lamp and the counters text (also while no loop runs).
void ShowGauge(void);
/// Colours of a histogram: the bars, the fitted normal curve, the limits.
constexpr int HISTOGRAM_BAR_COLOUR = 0x4A78C8;
constexpr int HISTOGRAM_CURVE_COLOUR = 0x202020;
constexpr int HISTOGRAM_LIMIT_COLOUR = 0xD01C1C;
/// The bins of a histogram of whole numbers between `lo` and `hi`: each at least one wide (so
/// no bin stays empty between two values), at most `maxBins`. Returns the count; `width` takes
/// their width.
int WholeNumberBins(double lo, double hi, int maxBins, double* width);
/// Draws a histogram on `graph` of `panel` in place of what it showed: `bins` bars of `counts`
/// from `lo`, each `width` wide; the fitted normal curve through the bins' middles unless
/// `fitted` is null; the limits as vertical lines when they are valid. The axes fit it all.
void DrawHistogram(int panel, int graph, double lo, double width, int bins, const double counts[],
                   const double fitted[], const gauge::Limits& limits);

/// Called after each result at most a few times a second while results come (the statistics
/// window's refresh); nullptr for none.
extern void (*gaugeFiguresChanged)(void);
