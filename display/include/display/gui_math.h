// The arithmetic behind the position bar and the trend chart, as pure functions of their inputs:
// the drawing routines in gui.cpp pass the globals in and draw what comes back.
//
// Signedness: the cursor position is an unsigned 16-bit value; band and range ends are computed
// as signed integers, so a band that starts left of zero is seen as such and never wraps.
#pragma once

#include <cstdint>

namespace gui_math {

using u16 = std::uint16_t;

/// One horizontal stretch of the position bar, from x1 to x2.
struct Span {
  int x1 = 0;
  int x2 = 0;
};

/// Vertical range of a chart.
struct Window {
  int lo = 0;
  int hi = 0;
};

/// Position that cursor 1 follows: the left edge (eMode 0), the right edge (1), or else the
/// centre between the edges with the remainder dropped, 1 when either edge is 0.
u16 CursorPosition(u16 eMode, u16 ledge, u16 redge);

/// Keeps the cursor position inside the evaluation window and the bar, tested in this order:
/// below pixB, above pixE, below 1, above ccdsubpixel.
u16 ClipPosition(u16 p, u16 pixB, u16 pixE, u16 ccdsubpixel);

/// The red ranges outside the edges; writes 1 or 2 spans into `out` and returns the count.
/// One edge: from the edge to pixE when mvstart < mvend, else from 1 to the edge.
/// Otherwise: 1 to the left edge, then the right edge to pixE.
int RedRanges(u16 edcnt, u16 mvstart, u16 mvend, u16 ledge, u16 redge, u16 pixE, Span out[2]);

/// Whether the edge hardware mode `eHardware` leaves the tolerance unused: the hardware modes
/// (1 and 3) evaluate without one, so the tolerance controls are dimmed for them.
bool ToleranceUnused(u16 eHardware);

/// The tolerance band around the setpoint, signed and unclipped: tVal - tTol to tVal + tTol
/// (a tolerance wider than the setpoint puts the left end below zero).
Span ToleranceBand(u16 tVal, u16 tTol);

/// The green tolerance bands; writes 0, 1 or 2 spans into `out` and returns the count.
/// eMode 2 draws two bands around `p` (none without an edge); every other mode one band
/// from tVal - tTol to tVal + tTol. A left end below 0 becomes 1, a right end above
/// ccdsubpixel - 1 becomes ccdsubpixel (the right band of eMode 2 is not clipped).
int GreenBands(u16 eMode, u16 edcnt, u16 p, u16 tVal, u16 tTol, u16 ccdsubpixel, Span out[2]);

/// Analog-output value that trace 5 of the trend shows for `anaMode`: the M-value (0, 1), the
/// maximum (2, 4), the minimum (3, 5; a minimum at ccdmaxpixelX8 - 1 means "none yet" and is
/// drawn as 1), else 0.
int AnalogTraceValue(u16 anaMode, u16 mvalue, u16 anaMax, u16 anaMin, u16 ccdmaxpixelX8);

/// Whether the analog maximum/minimum group is shown for `anaMode`: only the modes above 1
/// (maximum hold, minimum hold, maximum, minimum) have a maximum or minimum to show.
bool AnalogGroupShown(u16 anaMode);

/// Tolerance limits of the trend: upper tVal + tTol at most ccdmaxpixelX8 - 1, lower
/// tVal - tTol at least 1 (x1 = lower, x2 = upper).
Span ToleranceLimits(u16 tVal, u16 tTol, u16 ccdmaxpixelX8);

/// Vertical window of the trend that keeps setpoint, tolerance and M-value readable:
/// tVal +/- 200 for a tolerance below 50 (stretched to Mvalue +/- 100 when the M-value lies
/// outside), else tVal +/- 4 * tTol (stretched to Mvalue +/- 200), kept within
/// 1 .. ccdmaxpixelX8 - 1 and always at least one unit high.
Window TrendWindow(u16 tVal, u16 tTol, u16 mvalue, u16 ccdmaxpixelX8);

}  // namespace gui_math
