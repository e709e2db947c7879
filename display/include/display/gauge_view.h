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
/// Called after each result at most a few times a second while results come (the statistics
/// window's refresh); nullptr for none.
extern void (*gaugeFiguresChanged)(void);
