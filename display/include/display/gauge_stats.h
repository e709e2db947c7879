// The gauge's arithmetic: the OK/NOK judgement of a result against the tolerance band the
// position bar draws, running and last-N statistics of a quantity (M-value, gap value), a
// histogram with its fitted normal curve, and the text of the figures for Copy and CSV.
// Pure functions of their inputs; standard library only, no heap.
//
// Choices made here:
// - Limits are inclusive: a value on a limit is OK (the bar draws the band from its start to
//   its end, so a cursor on either end stands on green).
// - Edge modes other than 2: the limits are the band ToleranceBand(tVal, tTol) clipped as the
//   bar clips it (a start below 0 becomes 1, an end above ccdsubpixel - 1 becomes ccdsubpixel).
//   The bar draws that band whether or not an edge was found, so a result without an edge
//   (edcnt 0) is NOK: the edge is not where it should be. This is decided by the edge count,
//   not by the M-value 0 the sensor sends then, which a band starting at 0 (tVal == tTol) would
//   take as inside.
// - Edge mode 2: the M-value is the distance between the edges, and the bar draws two bands of
//   half-width tTol / 2 at tVal / 2 either side of the centre between the edges (integer
//   halves). Both edges lie in their bands exactly when the distance lies between
//   2 * (tVal / 2) - 2 * (tTol / 2) and 2 * (tVal / 2) + 2 * (tTol / 2): those are the limits
//   (for even tVal and tTol the same as tVal -/+ tTol; odd values lose the half the bar drops).
//   The clipping of the left band at the line's start only moves an edge position below 1,
//   where the sensor reports no edge, so it does not enter the distance's limits. Without an
//   edge the bar draws no band: such a result is NotJudged (no object, nothing to measure, as
//   between two parts on a conveyor), and the caller leaves it out of the statistics.
// - The tolerance is not in use (ToleranceUnused(eHardware)): invalid limits, NotJudged.
// - Running figures by Welford's update; the window of the last N is recomputed when asked,
//   two-pass (mean, then the sum of squared deviations about it). A window whose values are all
//   equal has sd exactly 0, never a rounding residue.
// - n = 0: only n is defined. n = 1: mean, min, max, range; no sd. Cp, Cpk need valid limits
//   and sd > 0 (no spread leaves them not defined, never infinite). % outside needs valid
//   limits and n >= 1. Cpk is shown as it comes: negative when the mean lies outside the limits.
// - "Outside" is the judgement at the time a value was added (Judge(...) == Nok); Cp and Cpk use
//   the limits passed to Summarize. When the operator changes the tolerance, the outside count
//   keeps the earlier judgements until the statistics are reset.
// - Histogram: values below lo or above hi are counted apart (the return value), not piled into
//   the end bins, where they would draw a peak that is not there and part from the fitted curve.
//
// Storage: a Window holds WINDOW_MAX values and flags (about 0.9 MB). Keep Window and Quantity
// objects in static storage (globals, function statics), never on the stack.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gauge {

using u16 = std::uint16_t;

constexpr int WINDOW_MAX = 100000;      ///< largest "last N"
constexpr int WINDOW_MIN = 2;           ///< smallest "last N"
constexpr int WINDOW_DEFAULT = 1000;

enum class Verdict { NotJudged, Ok, Nok };   ///< NotJudged: grey (no loop, band not in use)

struct Limits {
  bool valid = false;
  double lower = 0, upper = 0;
};

/// The limits of the band the position bar draws for the M-value (invalid when the tolerance is
/// not in use for eHardware); eMode 2 limits the distance between the edges (see above).
Limits BandLimits(u16 eMode, u16 eHardware, u16 tVal, u16 tTol, u16 ccdsubpixel);

/// OK/NOK of one result, inclusive limits. NotJudged when the limits are invalid, and in edge
/// mode 2 when the result has no edge (edcnt 0: the bar draws no band); NOK for a result
/// without an edge in the other modes.
Verdict Judge(double value, const Limits& limits, u16 eMode, u16 edcnt);

/// Figures since the start or the last reset, by Welford's update.
struct Running {
  long long n = 0;
  double mean = 0, m2 = 0, min = 0, max = 0;
  long long outside = 0;
};
/// Takes one value; `outside` counts it as outside the limits.
void Add(Running& r, double x, bool outside);

/// The last `capacity` values with their outside flags, in a ring of WINDOW_MAX slots. The
/// value written last is at head - 1; `count` values back from there are in the window.
struct Window {
  double values[WINDOW_MAX];
  bool outside[WINDOW_MAX];
  int capacity = WINDOW_DEFAULT;
  int head = 0;    ///< slot of the next value
  int count = 0;
};
/// Sets the window's length, clamped to WINDOW_MIN..WINDOW_MAX; keeps the newest values that fit.
void SetCapacity(Window& w, int n);
/// Takes one value; the oldest leaves when the window is full.
void Add(Window& w, double x, bool outside);
/// Empties the window; its capacity stays.
void Clear(Window& w);
/// The i-th value of the window, 0 the oldest (i in 0..count-1).
double At(const Window& w, int i);

struct Summary {
  long long n = 0;
  double mean = 0, sd = 0, min = 0, max = 0, range = 0, cp = 0, cpk = 0, outsidePercent = 0;
  /// What is defined: hasMean covers mean, min, max and range (n >= 1); hasSd the sample
  /// standard deviation (n >= 2); hasCp both Cp and Cpk; hasOutside the % outside.
  bool hasMean = false, hasSd = false, hasCp = false, hasOutside = false;
};
/// Figures of the running statistics against `limits` (LSL = lower, USL = upper).
Summary Summarize(const Running& r, const Limits& limits);
/// Figures of the window's values, recomputed from them (two-pass).
Summary Summarize(const Window& w, const Limits& limits);

/// The gauge's state for one quantity: running since the start/reset and the window.
struct Quantity {
  Running all;
  Window last;
};
/// Empties both; keeps the window's capacity.
void Reset(Quantity& q);

/// Histogram of the window's values: counts[k] for bins equal bins from lo to hi (bin k holds
/// lo + k * width <= x < lo + (k + 1) * width, the last bin also x == hi), and fitted[k] the
/// expected count of a normal distribution with the window's mean and sd over bin k, times the
/// window's n (the difference of the distribution function at the bin's ends; 0 for every bin
/// when the window has fewer than 2 values or no spread). Returns the number of values outside
/// lo..hi, counted in no bin; -1 (nothing written) when bins < 1 or hi <= lo or either is not
/// finite.
int Histogram(const Window& w, double lo, double hi, int bins, long long counts[], double fitted[]);

/// "Copy" text of the figures of several named summaries (e.g. "M-value, all", "M-value, last
/// 1000"): a head line
///   Figures<TAB>n<TAB>Mean<TAB>SD<TAB>Min<TAB>Max<TAB>Range<TAB>Cp<TAB>Cpk<TAB>Outside %
/// then one line per summary in that order, each line ended by '\n'. n as an integer, the
/// others with 3 decimals (Outside % with 2), '.' as decimal point whatever the locale, "-" for a
/// figure not defined. A tab or line end in a name becomes a space. Returns the length written
/// (terminated), 0 when it does not fit (out is then "" when size > 0).
size_t FormatFiguresText(const char* const names[], const Summary summaries[], int count, char* out,
                         size_t size);
/// "Save as CSV" of the same: the same columns and decimals, separated by ',', lines ended by
/// CR LF, an empty field for a figure not defined. A name with a comma, a double quote, CR or LF
/// is put in double quotes, with each double quote doubled. Returns as FormatFiguresText.
size_t FormatFiguresCsv(const char* const names[], const Summary summaries[], int count, char* out,
                        size_t size);
/// One figure for a window's cell: fixed with `decimals` decimals (0..9) and '.' whatever the
/// locale, "-" when not defined. Returns the length written (terminated), 0 when it does not fit.
size_t FormatFigure(double value, bool defined, int decimals, char* out, size_t size);

}  // namespace gauge
