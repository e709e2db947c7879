// Gauge arithmetic: judgement, statistics, histogram and the figures' text. The choices are
// listed at the top of gauge_stats.h.
#include "display/gauge_stats.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "display/gui_math.h"

namespace gauge {

namespace {

constexpr u16 TWO_BAND_MODE = 2;   // the edge mode with two bands around the centre
constexpr double PERCENT = 100.0;
constexpr int MAX_DECIMALS = 9;
constexpr int FIGURE_DECIMALS = 3;
constexpr int PERCENT_DECIMALS = 2;
constexpr int FIGURE_COLUMNS = 10;   // name, n and eight figures
const char* const kHeads[FIGURE_COLUMNS] = {"Figures", "n",   "Mean", "SD",  "Min",
                                            "Max",     "Range", "Cp", "Cpk", "Outside %"};

// Slot of the i-th value of the window, 0 the oldest.
int Slot(const Window& w, int i) {
  int s = w.head - w.count + i;
  if (s < 0) s += WINDOW_MAX;
  return s;
}

// The figures that follow from n, mean, sd (when n >= 2), min, max and the outside count.
Summary Figures(long long n, double mean, double sd, double min, double max, long long outside,
                const Limits& limits) {
  Summary s;
  s.n = n;
  if (n < 1) return s;
  s.hasMean = true;
  s.mean = mean;
  s.min = min;
  s.max = max;
  s.range = max - min;
  if (n >= 2) {
    s.hasSd = true;
    s.sd = sd;
  }
  if (!limits.valid) return s;
  s.hasOutside = true;
  s.outsidePercent = PERCENT * static_cast<double>(outside) / static_cast<double>(n);
  if (s.hasSd && sd > 0) {
    s.hasCp = true;
    s.cp = (limits.upper - limits.lower) / (6.0 * sd);
    const double toUpper = limits.upper - mean;
    const double toLower = mean - limits.lower;
    s.cpk = (toUpper < toLower ? toUpper : toLower) / (3.0 * sd);
  }
  return s;
}

// Standard normal distribution function.
double Phi(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// Bounded writer into a caller's buffer: remembers when something did not fit.
struct Out {
  char* p;
  size_t size;
  size_t len = 0;
  bool overflow = false;

  void Put(const char* s, size_t n) {
    if (overflow || len + n + 1 > size) {
      overflow = true;
      return;
    }
    std::memcpy(p + len, s, n);
    len += n;
  }
  void Put(const char* s) { Put(s, std::strlen(s)); }
  void Put(char c) { Put(&c, 1); }
  size_t Finish() {
    if (size == 0) return 0;
    if (overflow) {
      p[0] = '\0';
      return 0;
    }
    p[len] = '\0';
    return len;
  }
};

// A figure as text, "" when not defined and `empty` is set, else "-" for that.
void PutFigure(Out& o, double value, bool defined, int decimals, bool empty) {
  char cell[64];
  if (!defined && empty) return;
  const size_t n = FormatFigure(value, defined, decimals, cell, sizeof cell);
  if (n == 0) {
    o.overflow = true;   // a figure too large for any cell: refuse rather than drop it
    return;
  }
  o.Put(cell, n);
}

void PutCount(Out& o, long long n) {
  char cell[24];
  const auto r = std::to_chars(cell, cell + sizeof cell, n);
  o.Put(cell, static_cast<size_t>(r.ptr - cell));
}

void PutTextName(Out& o, const char* name) {
  for (const char* c = name ? name : ""; *c; ++c)
    o.Put(*c == '\t' || *c == '\n' || *c == '\r' ? ' ' : *c);
}

void PutCsvName(Out& o, const char* name) {
  const char* s = name ? name : "";
  if (std::strpbrk(s, ",\"\r\n") == nullptr) {
    o.Put(s);
    return;
  }
  o.Put('"');
  for (const char* c = s; *c; ++c) {
    if (*c == '"') o.Put('"');
    o.Put(*c);
  }
  o.Put('"');
}

size_t FormatFigures(const char* const names[], const Summary summaries[], int count, char* out,
                     size_t size, bool csv) {
  Out o{out, size};
  const char sep = csv ? ',' : '\t';
  const char* const eol = csv ? "\r\n" : "\n";
  for (int c = 0; c < FIGURE_COLUMNS; ++c) {
    if (c > 0) o.Put(sep);
    o.Put(kHeads[c]);
  }
  o.Put(eol);
  for (int i = 0; i < count; ++i) {
    const Summary& s = summaries[i];
    if (csv)
      PutCsvName(o, names[i]);
    else
      PutTextName(o, names[i]);
    o.Put(sep);
    PutCount(o, s.n);
    const struct {
      double value;
      bool defined;
      int decimals;
    } cells[] = {{s.mean, s.hasMean, FIGURE_DECIMALS},  {s.sd, s.hasSd, FIGURE_DECIMALS},
                 {s.min, s.hasMean, FIGURE_DECIMALS},   {s.max, s.hasMean, FIGURE_DECIMALS},
                 {s.range, s.hasMean, FIGURE_DECIMALS}, {s.cp, s.hasCp, FIGURE_DECIMALS},
                 {s.cpk, s.hasCp, FIGURE_DECIMALS},
                 {s.outsidePercent, s.hasOutside, PERCENT_DECIMALS}};
    for (const auto& cell : cells) {
      o.Put(sep);
      PutFigure(o, cell.value, cell.defined, cell.decimals, csv);
    }
    o.Put(eol);
  }
  return o.Finish();
}

}  // namespace

Limits BandLimits(u16 eMode, u16 eHardware, u16 tVal, u16 tTol, u16 ccdsubpixel) {
  Limits l;
  if (gui_math::ToleranceUnused(eHardware)) return l;
  l.valid = true;
  if (eMode == TWO_BAND_MODE) {
    const int h = tVal / 2;
    const int d = tTol / 2;
    l.lower = 2 * (h - d);
    l.upper = 2 * (h + d);
    return l;
  }
  // The band exactly as the bar draws it in the other modes.
  gui_math::Span band[2];
  gui_math::GreenBands(eMode, 0, 0, tVal, tTol, ccdsubpixel, band);
  l.lower = band[0].x1;
  l.upper = band[0].x2;
  return l;
}

Verdict Judge(double value, const Limits& limits, u16 eMode, u16 edcnt) {
  if (!limits.valid) return Verdict::NotJudged;
  if (edcnt == 0) return eMode == TWO_BAND_MODE ? Verdict::NotJudged : Verdict::Nok;
  return value >= limits.lower && value <= limits.upper ? Verdict::Ok : Verdict::Nok;
}

void Add(Running& r, double x, bool outside) {
  ++r.n;
  if (r.n == 1) {
    r.mean = r.min = r.max = x;
    r.m2 = 0;
  } else {
    const double delta = x - r.mean;
    r.mean += delta / static_cast<double>(r.n);
    r.m2 += delta * (x - r.mean);
    if (x < r.min) r.min = x;
    if (x > r.max) r.max = x;
  }
  if (outside) ++r.outside;
}

void SetCapacity(Window& w, int n) {
  if (n < WINDOW_MIN) n = WINDOW_MIN;
  if (n > WINDOW_MAX) n = WINDOW_MAX;
  w.capacity = n;
  // The ring has WINDOW_MAX slots whatever the capacity, so the newest values stay where they
  // are; only the count of those that belong to the window shrinks.
  if (w.count > n) w.count = n;
}

void Add(Window& w, double x, bool outside) {
  w.values[w.head] = x;
  w.outside[w.head] = outside;
  w.head = w.head + 1 == WINDOW_MAX ? 0 : w.head + 1;
  if (w.count < w.capacity) ++w.count;
}

void Clear(Window& w) {
  w.head = 0;
  w.count = 0;
}

double At(const Window& w, int i) { return w.values[Slot(w, i)]; }

Summary Summarize(const Running& r, const Limits& limits) {
  const double sd = r.n >= 2 ? std::sqrt(r.m2 / static_cast<double>(r.n - 1)) : 0.0;
  return Figures(r.n, r.mean, sd, r.min, r.max, r.outside, limits);
}

Summary Summarize(const Window& w, const Limits& limits) {
  const int n = w.count;
  if (n == 0) return Figures(0, 0, 0, 0, 0, 0, limits);
  double sum = 0, min = At(w, 0), max = min;
  long long outside = 0;
  for (int i = 0; i < n; ++i) {
    const int s = Slot(w, i);
    const double x = w.values[s];
    sum += x;
    if (x < min) min = x;
    if (x > max) max = x;
    if (w.outside[s]) ++outside;
  }
  double mean = sum / n;
  double sd = 0;
  if (n >= 2 && max > min) {
    // The first pass's mean is corrected by the mean deviation about it, which takes back most
    // of the rounding of a large sum.
    double dev = 0, sq = 0;
    for (int i = 0; i < n; ++i) dev += w.values[Slot(w, i)] - mean;
    mean += dev / n;
    for (int i = 0; i < n; ++i) {
      const double d = w.values[Slot(w, i)] - mean;
      sq += d * d;
    }
    sd = std::sqrt(sq / (n - 1));
  }
  if (mean < min) mean = min;   // rounding never puts the mean outside the values
  if (mean > max) mean = max;
  return Figures(n, mean, sd, min, max, outside, limits);
}

void Reset(Quantity& q) {
  q.all = Running{};
  Clear(q.last);
}

int Histogram(const Window& w, double lo, double hi, int bins, long long counts[], double fitted[]) {
  if (bins < 1 || !std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return -1;
  for (int k = 0; k < bins; ++k) {
    counts[k] = 0;
    fitted[k] = 0;
  }
  const double width = (hi - lo) / bins;
  int apart = 0;
  for (int i = 0; i < w.count; ++i) {
    const double x = At(w, i);
    if (!(x >= lo && x <= hi)) {
      ++apart;
      continue;
    }
    int k = static_cast<int>((x - lo) / width);
    if (k >= bins) k = bins - 1;   // x == hi, or a rounding just below it
    ++counts[k];
  }
  const Summary s = Summarize(w, Limits{});
  if (!s.hasSd || !(s.sd > 0)) return apart;
  const double n = static_cast<double>(s.n);
  double below = Phi((lo - s.mean) / s.sd);
  for (int k = 0; k < bins; ++k) {
    const double end = k + 1 == bins ? hi : lo + (k + 1) * width;
    const double upTo = Phi((end - s.mean) / s.sd);
    fitted[k] = n * (upTo - below);
    below = upTo;
  }
  return apart;
}

size_t FormatFiguresText(const char* const names[], const Summary summaries[], int count, char* out,
                         size_t size) {
  return FormatFigures(names, summaries, count, out, size, false);
}

size_t FormatFiguresCsv(const char* const names[], const Summary summaries[], int count, char* out,
                        size_t size) {
  return FormatFigures(names, summaries, count, out, size, true);
}

size_t FormatFigure(double value, bool defined, int decimals, char* out, size_t size) {
  if (size == 0) return 0;
  out[0] = '\0';
  if (!defined) {
    if (size < 2) return 0;
    out[0] = '-';
    out[1] = '\0';
    return 1;
  }
  if (decimals < 0) decimals = 0;
  if (decimals > MAX_DECIMALS) decimals = MAX_DECIMALS;
  // to_chars never consults the locale: the decimal point is always '.'.
  const auto r = std::to_chars(out, out + size - 1, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc{}) {
    out[0] = '\0';
    return 0;
  }
  *r.ptr = '\0';
  size_t len = static_cast<size_t>(r.ptr - out);
  // A small negative value rounded to zero reads "0.000", not "-0.000".
  if (out[0] == '-' && std::strspn(out + 1, "0.") == len - 1) {
    std::memmove(out, out + 1, len);
    --len;
  }
  return len;
}

}  // namespace gauge
