#include "sensor/ccd.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rorir::sensor {

std::uint64_t Rng::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double Rng::normal() {
  double s = 0;
  for (int i = 0; i < 12; ++i) s += uniform();
  return s - 6.0;
}

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

double seconds(Nanos t) { return std::chrono::duration<double>(t).count(); }

// A soft step from 0 to 1 around 0, about `width` wide: the blurred border of a shadow.
double ramp(double x, double width) { return 1.0 / (1.0 + std::exp(-4.0 * x / width)); }

}  // namespace

CcdLine::CcdLine(const Profile& profile, std::uint64_t seed, int objects)
    : profile_(profile), rng_(seed), objects_(std::clamp(objects, 1, 2)) {
  for (double& p : phase_) p = kTwoPi * rng_.uniform();
}

Capture CcdLine::capture(Nanos t, const Words& settings) {
  const double s = seconds(t);
  const double length = profile_.subpixel;
  const double step = videoStep(profile_);
  const double top = videoTop(profile_);

  // Illumination efficiency (lamp, dirt on the window) drifts by a few per cent.
  const double efficiency = 1.0 + 0.08 * std::sin(kTwoPi * s / 47.0 + phase_[0]);
  double power = settings[kPower];
  if (settings[kPowMode] > 0) power = std::clamp(power / efficiency, 1.0, 65535.0);
  Capture c;
  c.dynpower = static_cast<std::uint16_t>(std::lround(power));

  struct Shadow {
    double left, right;
  };
  std::array<Shadow, 2> shadows{};
  const double jitter = 0.15 * step;
  {
    double centre = 0.35 * length + 0.04 * length * std::sin(kTwoPi * s / 23.0 + phase_[1]);
    double half = 0.09 * length + 0.01 * length * std::sin(kTwoPi * s / 37.0 + phase_[2]);
    centre += jitter * rng_.normal();
    shadows[0] = {centre - half, centre + half};
  }
  if (objects_ == 2) {
    double centre = 0.72 * length + 0.03 * length * std::sin(kTwoPi * s / 31.0 + phase_[3]);
    double half = 0.05 * length + 0.008 * length * std::sin(kTwoPi * s / 29.0 + phase_[4]);
    centre += jitter * rng_.normal();
    shadows[1] = {centre - half, centre + half};
  }
  for (int k = 0; k < objects_; ++k) {
    c.trueEdges[c.trueEdgeCount++] = shadows[k].left;
    c.trueEdges[c.trueEdgeCount++] = shadows[k].right;
  }

  const double bright = top * 0.82 * (power / 500.0) * efficiency;
  const double offset = top * 0.04;
  const double averaging = std::max<double>(1.0, settings[kAverage]);
  const double noise = top * 0.006 / std::sqrt(averaging);
  const double blur = 1.5 * step;
  for (std::size_t i = 0; i < kVideoWords; ++i) {
    const double x = static_cast<double>(i) * step;
    const double u = (x - length / 2) / (length / 2);
    const double lit = bright * (1.0 - 0.12 * u * u);  // the lens loses light towards the ends
    double transmission = 1.0;
    for (int k = 0; k < objects_; ++k) {
      double inside = ramp(x - shadows[k].left, blur) * ramp(shadows[k].right - x, blur);
      transmission *= 1.0 - 0.95 * inside;
    }
    double v = offset + (lit - offset) * transmission + noise * rng_.normal();
    c.video[i] = static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, static_cast<long>(top) - 1));
  }
  return c;
}

Evaluation evaluate(const Video& video, const Words& settings, const Profile& profile,
                    std::uint16_t dynpower) {
  Evaluation e;
  const unsigned step = videoStep(profile);
  const unsigned threshold = settings[kVThd];
  const bool darkObject = settings[kPolarity] != 0;
  auto isObject = [&](std::size_t i) {
    return darkObject ? video[i] < threshold : video[i] >= threshold;
  };

  // Video words whose position lies inside the edge window.
  const unsigned eBeg = settings[kEBeg];
  const unsigned eEnd = settings[kEEnd];
  const std::size_t first = (eBeg + step - 1) / step;
  const std::size_t last = std::min<std::size_t>(kVideoWords - 1, eEnd / step);
  if (eBeg <= eEnd && first < last) {
    for (std::size_t i = first + 1; i <= last; ++i) {
      if (isObject(i) == isObject(i - 1)) continue;
      // Linear interpolation between the two words that straddle the threshold.
      const double v0 = video[i - 1];
      const double v1 = video[i];
      double frac = v1 == v0 ? 0.0 : (threshold - v0) / (v1 - v0);
      frac = std::clamp(frac, 0.0, 1.0);
      const double x = (static_cast<double>(i - 1) + frac) * step;
      e.edges.push_back({static_cast<std::uint16_t>(std::lround(x)), isObject(i)});
    }
  }

  Results& r = e.results;
  r.edcnt = static_cast<std::uint16_t>(std::min<std::size_t>(e.edges.size(), 0xFFFF));
  if (!e.edges.empty()) {
    r.Ledge = e.edges.front().position;
    r.Redge = e.edges.back().position;
  }
  if (e.edges.size() == 1) {
    // The range points from the edge into the object: towards the window's end when the object
    // starts at the edge, towards its start otherwise.
    r.mvstart = r.Ledge;
    r.mvend = static_cast<std::uint16_t>((e.edges.front().entersObject ? last : first) * step);
  } else if (e.edges.size() > 1) {
    r.mvstart = r.Ledge;
    r.mvend = r.Redge;
  }
  // The gap is the background between the first object that ends and the next that begins.
  for (std::size_t k = 0; k + 1 < e.edges.size(); ++k) {
    if (!e.edges[k].entersObject && e.edges[k + 1].entersObject) {
      const unsigned a = e.edges[k].position;
      const unsigned b = e.edges[k + 1].position;
      r.gapLen = static_cast<std::uint16_t>(b - a);
      r.gapVal = static_cast<std::uint16_t>((a + b) / 2);
      r.gapPix = static_cast<std::uint16_t>(unsigned{r.gapVal} * profile.pixels / profile.subpixel);
      break;
    }
  }
  switch (settings[kEMode]) {
    case 0: r.Mvalue = r.Ledge; break;
    case 1: r.Mvalue = r.Redge; break;
    case 2: r.Mvalue = static_cast<std::uint16_t>(r.Redge - r.Ledge); break;
    case 3: r.Mvalue = static_cast<std::uint16_t>((unsigned{r.Ledge} + r.Redge) / 2); break;
    default: r.Mvalue = r.gapVal; break;
  }
  r.umValue = std::uint32_t{r.Mvalue} * settings[kSlope];
  r.tVal = settings[kTVal];
  r.tTol = settings[kTTol];
  r.dynpower = dynpower;
  // The type 101 line can put its gap value on the analog output (analog mode 1).
  e.analog = profile.ccdType == 101 && settings[kAnaMode] == 1 ? r.gapVal : r.Mvalue;
  return e;
}

}  // namespace rorir::sensor
