// The signal check of one video line; the choices are listed in signal_check.h.
#include "display/signal_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace signal_check {

namespace {

constexpr int MAX_POINTS = 256;
// Standard deviation from the median of |y[i-1] - 2 y[i] + y[i+1]| for Gaussian noise:
// the median of |N(0, 6 s^2)| is 0.6745 * sqrt(6) * s.
constexpr double SECOND_DIFFERENCE_TO_SIGMA = 1.0 / (0.6745 * 2.449489742783178);

// Nearest-rank percentile of the sorted values v[0..n).
u16 Percentile(const u16* sorted, int n, int percent) {
  return sorted[(percent * (n - 1) + 50) / 100];
}

// The median of v[0..n) (reordered in place), the mean of the middle two for an even count.
double Median(int* v, int n) {
  int* mid = v + n / 2;
  std::nth_element(v, mid, v + n);
  if (n % 2 == 1) return *mid;
  const int upper = *mid;
  const int lower = *std::max_element(v, mid);
  return (lower + upper) / 2.0;
}

int Noise(const u16* y, int n, u16 top) {
  std::array<int, MAX_POINTS> d{};
  int count = 0;
  auto clipped = [&](int i) { return y[i] == 0 || y[i] + 1 >= top; };
  for (int i = 1; i + 1 < n; ++i) {
    if (clipped(i - 1) || clipped(i) || clipped(i + 1)) continue;
    d[count++] = std::abs(y[i - 1] - 2 * y[i] + y[i + 1]);
  }
  if (count == 0) return 0;
  return static_cast<int>(std::lround(Median(d.data(), count) * SECOND_DIFFERENCE_TO_SIGMA));
}

// Whether the edges satisfy the edge mode: the width and the centre need two edges, the gap
// an object that ends followed by one that begins.
bool EnoughEdgesForMode(const Result& r, u16 eMode) {
  if (eMode == 2 || eMode == 3) return r.edgeCount >= 2;
  if (eMode == 4) {
    const int kept = std::min(r.edgeCount, MAX_EDGES);
    for (int k = 0; k + 1 < kept; ++k)
      if (!r.edges[k].entersObject && r.edges[k + 1].entersObject) return true;
    return false;
  }
  return r.edgeCount >= 1;
}

void FindEdges(const u16* y, const double* x, int n, const Settings& s, Result& r) {
  const bool darkObject = s.polarity != 0;
  auto isObject = [&](int i) { return darkObject ? y[i] < s.vThd : y[i] >= s.vThd; };
  auto inWindow = [&](int i) { return x[i] >= s.eBeg && x[i] <= s.eEnd; };
  for (int i = 1; i < n; ++i) {
    if (!inWindow(i - 1) || !inWindow(i) || isObject(i) == isObject(i - 1)) continue;
    if (r.edgeCount < MAX_EDGES) {
      const double v0 = y[i - 1];
      const double v1 = y[i];
      const double frac = std::clamp((s.vThd - v0) / (v1 - v0), 0.0, 1.0);
      r.edges[r.edgeCount] = {x[i - 1] + frac * (x[i] - x[i - 1]), isObject(i)};
    }
    ++r.edgeCount;
  }
}

void WriteVerdict(const Result& r, const Settings& s, char* out) {
  char saturation[32];
  if (r.warnings & WARN_SATURATED)
    std::snprintf(saturation, sizeof saturation, "saturated (%d words)", r.saturatedWords);
  else
    std::snprintf(saturation, sizeof saturation, "no saturation");
  const char* where = (r.warnings & WARN_THRESHOLD_ABOVE)   ? "above"
                      : (r.warnings & WARN_THRESHOLD_BELOW) ? "below"
                                                            : "inside";
  std::snprintf(out, VERDICT_SIZE, "Contrast %d, noise %d, %s - threshold %u %s the signal",
                r.contrast, r.noise, saturation, static_cast<unsigned>(s.vThd), where);
}

}  // namespace

Result Check(const u16* y, const double* x, int n, u16 videoTop, const Settings& s) {
  Result r;
  n = std::clamp(n, 0, MAX_POINTS);
  if (n == 0) {
    std::snprintf(r.verdict, VERDICT_SIZE, "No video line");
    return r;
  }

  std::array<u16, MAX_POINTS> sorted{};
  std::copy(y, y + n, sorted.begin());
  std::sort(sorted.begin(), sorted.begin() + n);
  r.dark = Percentile(sorted.data(), n, DARK_PERCENTILE);
  r.bright = Percentile(sorted.data(), n, BRIGHT_PERCENTILE);
  r.contrast = r.bright - r.dark;
  r.noise = Noise(y, n, videoTop);
  for (int i = 0; i < n; ++i)
    if (y[i] + 1 >= videoTop) ++r.saturatedWords;
  r.suggestedThreshold = static_cast<u16>((r.dark + r.bright + 1) / 2);

  if (s.vThd > r.bright) r.warnings |= WARN_THRESHOLD_ABOVE;
  else if (s.vThd <= r.dark) r.warnings |= WARN_THRESHOLD_BELOW;
  if (r.saturatedWords >= SATURATED_MIN) {
    r.warnings |= WARN_SATURATED;
    r.power = POWER_LOWER;
  } else if (2 * r.bright < videoTop) {
    r.warnings |= WARN_WEAK;
    r.power = POWER_RAISE;
  }

  if (s.eBeg > s.eEnd) {
    r.warnings |= WARN_WINDOW_REVERSED;
  } else {
    FindEdges(y, x, n, s, r);
    if (r.edgeCount == 0) r.warnings |= WARN_NO_EDGE;
    else if (!EnoughEdgesForMode(r, s.eMode)) r.warnings |= WARN_FEW_EDGES;
  }
  WriteVerdict(r, s, r.verdict);
  return r;
}

const char* WarningText(Warning w) {
  switch (w) {
    case WARN_THRESHOLD_ABOVE: return "Threshold above the signal - no edge can be found";
    case WARN_THRESHOLD_BELOW: return "Threshold below the signal - no edge can be found";
    case WARN_SATURATED: return "Signal saturated - lower the power";
    case WARN_WEAK: return "Weak signal - raise the power";
    case WARN_NO_EDGE: return "No edge in the edge window";
    case WARN_WINDOW_REVERSED: return "Edge window: left limit right of the right limit";
    case WARN_FEW_EDGES: return "Fewer edges than the edge mode needs";
  }
  return "";
}

}  // namespace signal_check
