// Position bar and trend arithmetic. Every u16 input is widened to int before any sum or
// difference, so nothing wraps.
#include "display/gui_math.h"

namespace gui_math {

namespace {

constexpr int NARROW_TOLERANCE = 50;    // below this the trend window has a fixed height
constexpr int NARROW_HALF_HEIGHT = 200;
constexpr int NARROW_MARGIN = 100;      // room kept around an M-value outside the window
constexpr int WIDE_FACTOR = 4;
constexpr int WIDE_MARGIN = 200;

// Keeps a band end inside the bar: a left end below 0 becomes 1, a right end above
// ccdsubpixel - 1 becomes ccdsubpixel.
Span ClipBand(int a, int b, int ccdsubpixel) {
  if (a < 0) a = 1;
  if (b > ccdsubpixel - 1) b = ccdsubpixel;
  return {a, b};
}

}  // namespace

u16 CursorPosition(u16 eMode, u16 ledge, u16 redge) {
  if (eMode == 0) return ledge;
  if (eMode == 1) return redge;
  if (ledge == 0 || redge == 0) return 1;
  return static_cast<u16>((static_cast<int>(ledge) + static_cast<int>(redge)) / 2);
}

u16 ClipPosition(u16 p, u16 pixB, u16 pixE, u16 ccdsubpixel) {
  if (p < pixB) p = pixB;
  if (p > pixE) p = pixE;
  if (p < 1) p = 1;
  if (p > ccdsubpixel) p = ccdsubpixel;
  return p;
}

int RedRanges(u16 edcnt, u16 mvstart, u16 mvend, u16 ledge, u16 redge, u16 pixE, Span out[2]) {
  if (edcnt == 1) {
    out[0] = mvstart < mvend ? Span{ledge, pixE} : Span{1, ledge};
    return 1;
  }
  out[0] = {1, ledge};
  out[1] = {redge, pixE};
  return 2;
}

bool ToleranceUnused(u16 eHardware) { return eHardware == 1 || eHardware == 3; }

Span ToleranceBand(u16 tVal, u16 tTol) {
  return {static_cast<int>(tVal) - tTol, static_cast<int>(tVal) + tTol};
}

int GreenBands(u16 eMode, u16 edcnt, u16 p, u16 tVal, u16 tTol, u16 ccdsubpixel, Span out[2]) {
  const int sub = ccdsubpixel;
  if (eMode == 2) {
    if (edcnt == 0) return 0;
    const int h = tVal / 2;
    const int d = tTol / 2;
    const int pos = p;
    out[0] = ClipBand(pos - h - d, pos - h + d, sub);
    out[1] = {pos + h - d, pos + h + d};
    return 2;
  }
  const Span band = ToleranceBand(tVal, tTol);
  out[0] = ClipBand(band.x1, band.x2, sub);
  return 1;
}

bool AnalogGroupShown(u16 anaMode) { return anaMode > 1; }

int AnalogTraceValue(u16 anaMode, u16 mvalue, u16 anaMax, u16 anaMin, u16 ccdmaxpixelX8) {
  switch (anaMode) {
    case 0:
    case 1:
      return mvalue;
    case 2:
    case 4:
      return anaMax;
    case 3:
    case 5:
      return static_cast<int>(anaMin) == static_cast<int>(ccdmaxpixelX8) - 1 ? 1 : anaMin;
    default:
      return 0;
  }
}

Span ToleranceLimits(u16 tVal, u16 tTol, u16 ccdmaxpixelX8) {
  int upper = static_cast<int>(tVal) + tTol;
  int lower = static_cast<int>(tVal) - tTol;
  const int top = static_cast<int>(ccdmaxpixelX8) - 1;
  if (upper > top) upper = top;
  if (lower < 1) lower = 1;
  return {lower, upper};
}

Window TrendWindow(u16 tVal, u16 tTol, u16 mvalue, u16 ccdmaxpixelX8) {
  const int t = tVal;
  const int m = mvalue;
  const bool narrow = tTol < NARROW_TOLERANCE;
  const int half = narrow ? NARROW_HALF_HEIGHT : WIDE_FACTOR * static_cast<int>(tTol);
  const int margin = narrow ? NARROW_MARGIN : WIDE_MARGIN;
  Window w{t - half, t + half};
  if (m > w.hi) w.hi = m + margin;
  if (m < w.lo) w.lo = m - margin;
  // A geometry smaller than two units still leaves a window one unit high.
  int top = static_cast<int>(ccdmaxpixelX8) - 1;
  if (top < 2) top = 2;
  if (w.lo < 1) w.lo = 1;
  if (w.lo > top - 1) w.lo = top - 1;
  if (w.hi > top) w.hi = top;
  if (w.hi <= w.lo) w.hi = w.lo + 1;
  return w;
}

}  // namespace gui_math
