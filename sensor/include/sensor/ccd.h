// The simulated CCD line: a scene of one or two shadowing objects that drift slowly, the video
// line sampled from it, and the edge evaluation that turns a video line into results.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "sensor/profiles.h"
#include "sensor/protocol.h"

namespace rorir::sensor {

using Nanos = std::chrono::nanoseconds;
using Video = std::array<std::uint16_t, kVideoWords>;

/// A small deterministic generator (splitmix64), so that one seed gives the same frames on
/// every platform and standard library.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  double uniform();  ///< in [0, 1)
  double normal();   ///< mean 0, deviation 1 (sum of twelve uniforms)

 private:
  std::uint64_t state_;
};

/// One video line, the power it was taken with, and where the shadows truly began and ended
/// on it (sub-pixel units, left to right), for checking edge finders against.
struct Capture {
  Video video{};
  std::uint16_t dynpower = 0;
  std::array<double, 4> trueEdges{};
  int trueEdgeCount = 0;
};

/// The scene in front of the line. Object edges move on slow sine paths with a seeded phase,
/// plus a small jitter per capture; the illumination efficiency drifts too, which the
/// automatic power modes compensate.
class CcdLine {
 public:
  CcdLine(const Profile& profile, std::uint64_t seed, int objects);

  /// Takes one video line at time t with the given settings (power, power mode, averaging).
  Capture capture(Nanos t, const Words& settings);

  int objects() const { return objects_; }

 private:
  const Profile& profile_;
  Rng rng_;
  int objects_;
  std::array<double, 8> phase_{};
};

/// One edge found in the video: its position and whether the object starts there.
struct Edge {
  std::uint16_t position = 0;  ///< sub-pixel units
  bool entersObject = false;
};

/// What the edge evaluation of one video line gives.
struct Evaluation {
  Results results;           ///< all result words except anaMax and anaMin
  std::vector<Edge> edges;   ///< every edge in the window, left to right
  std::uint16_t analog = 0;  ///< the analog-output value of this line
};

/// Finds the edges of a video line where it crosses the threshold vThd of the settings inside
/// the edge window eBeg..eEnd, classifies object and background by the polarity (1: the object
/// is darker than the threshold, 0: brighter), and derives the results.
Evaluation evaluate(const Video& video, const Words& settings, const Profile& profile,
                    std::uint16_t dynpower);

}  // namespace rorir::sensor
