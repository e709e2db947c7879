// The live display of the main panel: the video curve with its threshold, the result
// indicators with the position bar, and the trend chart with its 100-sample history.
#pragma once

#include "state/globals.h"
#include "display/signal_check.h"

constexpr int TREND_SAMPLES = 100;  ///< samples kept in the trend history
constexpr int TREND_TRACES = 6;     ///< values per sample (traces of CHARTraw)
constexpr int TREND_SIZE = TREND_SAMPLES * TREND_TRACES;

constexpr int SHIFT_ERR_COUNT = -20003;  ///< Shift / Copy1D: fewer than one element
constexpr int SHIFT_ERR_RANGE = -20102;  ///< Shift: the shift is as long as the array or longer

/// Trend history, interleaved: entry 6k + t is trace t + 1 of sample k, sample 0 the oldest.
/// Kept for the whole run of the program, so a new measurement run continues the trend.
extern double arrayNORM[TREND_SIZE];

/// 1 once adcbuf holds a video line read from the sensor: from then on PlotVIDEOCurve checks
/// the line it draws (the video loop sets it).
extern int videoLineTaken;
/// The signal check of the line last drawn (see display/signal_check.h).
extern signal_check::Result signalCheck;
/// The video graph's menu entry that applies the suggested threshold (0 until it is added);
/// each check puts the suggestion into its label and makes it usable.
extern int signalCheckMenuItem;
constexpr const char* SIGNAL_CHECK_MENU_TEXT = "Apply suggested threshold";

/// Draws the video line `y` (256 words, adcbuf) against `x` (256 positions, xArray8) in red,
/// and the threshold curve thdArray in dark green, on GRAPHvideo from 0 to YAXISMAX. Once a
/// line has been taken, also its signal check over the plots: the edge window shaded, the
/// edges marked on the threshold, the verdict, the suggestion and the warnings as note lines.
void PlotVIDEOCurve(const u16 y[VIDEO_POINTS], const double x[VIDEO_POINTS]);

/// Shows the last result frame: the indicators, then on GRAPHbar the edge-window cursors, the
/// position cursor, the red ranges outside the edges and the green tolerance band(s).
void PlotVIDEOBarGraph(void);

/// The circuit-board type with an analog output (its maximum and minimum and their reset).
constexpr u16 BOARD_WITH_ANALOG_OUTPUT = 100;

/// Draws the position bar at rest: setpoint and edge-window cursors and the tolerance band.
void DrawRestingBar(void);

/// Adds the tolerance band of the bar at rest to GRAPHbar: green, in the bar's lower quarter,
/// from tVal - tTol to tVal + tTol unclipped (gui_math::ToleranceBand).
void DrawToleranceBand(void);

/// Forgets the last sensor's results on the panel: the result indicators read 0, the trend and
/// its history, the video curve with its signal check and the position bar start over.
void ClearResults(void);

/// Marks the result indicators live (1: a sensor answers on the port) or not (0: the port is
/// lost or no sensor was identified): dimmed while not live.
void ShowResultsLive(int live);

/// Appends one sample (tolerance limits, setpoint, M-value, analog output, gap value) to
/// arrayNORM and redraws CHARTraw with the whole history and a window that fits the values.
void PlotRAWGraphX8(void);

/// Moves n doubles of x by `shifts` places into y (x and y may be the same array), filling
/// with zeros. Returns 0, SHIFT_ERR_COUNT when n < 1, SHIFT_ERR_RANGE when |shifts| >= n;
/// on an error nothing is written.
int Shift(const double* x, int n, int shifts, double* y);

/// Copies n doubles from x to y. Returns 0, or SHIFT_ERR_COUNT when n < 1.
int Copy1D(const double* x, int n, double* y);
