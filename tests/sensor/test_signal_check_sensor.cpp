// The signal check against the virtual sensor's CCD line, which knows where its shadows truly
// begin and end: the edges found agree with them, and the check's suggestions lead a badly set
// threshold or power to where the edges are found.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "display/signal_check.h"
#include "sensor/ccd.h"
#include "sensor/profiles.h"

namespace rorir::sensor {
namespace {

using namespace std::chrono_literals;

struct Look {
  Capture capture;
  signal_check::Result check;
};

// Takes a line at time t and checks it as the program would, with the profile's x scale.
Look Take(CcdLine& line, const Profile& p, const Words& set, Nanos t) {
  Look l;
  l.capture = line.capture(t, set);
  double x[kVideoWords];
  for (std::size_t i = 0; i < kVideoWords; ++i) x[i] = static_cast<double>(i * videoStep(p));
  const signal_check::Settings s{set[kVThd], set[kEBeg], set[kEEnd], set[kPolarity], set[kEMode]};
  l.check = signal_check::Check(l.capture.video.data(), x, kVideoWords, videoTop(p), s);
  return l;
}

// Every true edge found once, within one pixel (sub-pixel units per pixel: subpixel / pixels).
void ExpectTrueEdges(const Look& l, const Profile& p, const std::string& what) {
  const double pixel = static_cast<double>(p.subpixel) / p.pixels;
  ASSERT_EQ(l.check.edgeCount, l.capture.trueEdgeCount) << what;
  for (int k = 0; k < l.check.edgeCount; ++k)
    EXPECT_NEAR(l.check.edges[k].position, l.capture.trueEdges[k], pixel) << what << " edge " << k;
}

Words Settings(const Profile& p, unsigned power, unsigned average) {
  Words set = defaultSettings(p);
  set[kPower] = static_cast<std::uint16_t>(power);
  set[kAverage] = static_cast<std::uint16_t>(average);
  set[kPowMode] = 0;
  return set;
}

TEST(SignalCheckOnSensor, EdgesAgreeWithTheTrueEdgesAcrossProfilesPowersAndNoise) {
  for (const Profile& p : profiles()) {
    for (unsigned power : {150u, 400u, 500u}) {
      for (unsigned average : {1u, 4u, 16u}) {
        for (int objects : {1, 2}) {
          CcdLine line(p, 5 + power + average, objects);
          Words set = Settings(p, power, average);
          for (Nanos t : {0s, 9s, 21s}) {
            const std::string what = std::string(p.name) + " power " + std::to_string(power) +
                                     " average " + std::to_string(average) + " objects " +
                                     std::to_string(objects) + " t " +
                                     std::to_string(t.count() / 1000000000);
            // The operator takes the suggested threshold, the next line is checked with it.
            set[kVThd] = Take(line, p, set, t).check.suggestedThreshold;
            const Look l = Take(line, p, set, t + 400ms);
            ExpectTrueEdges(l, p, what);
            // At power 150 the bright level stays below half the range.
            EXPECT_EQ(l.check.warnings, power == 150 ? signal_check::WARN_WEAK : 0u)
                << what << ": " << l.check.verdict;
          }
        }
      }
    }
  }
}

TEST(SignalCheckOnSensor, NoiseIsTheLinesNoise) {
  // The line's noise is 0.6 % of the video top, divided by the square root of the averaging.
  struct Case {
    const char* profile;
    unsigned average;
    int lo, hi;
  };
  const Case cases[] = {{"t1", 1, 5, 7}, {"t1", 4, 2, 4}, {"t1", 16, 1, 2}, {"t2-350", 1, 1, 2}};
  for (const Case& c : cases) {
    const Profile& p = *findProfile(c.profile);
    CcdLine line(p, 3, 2);
    const Look l = Take(line, p, Settings(p, 400, c.average), 2s);
    EXPECT_GE(l.check.noise, c.lo) << c.profile << " average " << c.average;
    EXPECT_LE(l.check.noise, c.hi) << c.profile << " average " << c.average;
  }
}

TEST(SignalCheckOnSensor, SuggestionsLeadABadThresholdOrPowerToTheEdges) {
  struct Case {
    const char* what;
    unsigned power;
    int thresholdPercent;  // of the video top
    unsigned firstWarning;
  };
  const Case cases[] = {
      {"threshold above", 500, 97, signal_check::WARN_THRESHOLD_ABOVE},
      {"threshold below", 500, 1, signal_check::WARN_THRESHOLD_BELOW},
      {"power far too low", 40, 50, signal_check::WARN_WEAK},
      {"power far too high", 2000, 50, signal_check::WARN_SATURATED},
  };
  for (const Profile& p : profiles()) {
    for (const Case& c : cases) {
      const std::string what = std::string(p.name) + " " + c.what;
      CcdLine line(p, 17, 2);
      Words set = Settings(p, c.power, 1);
      set[kVThd] = static_cast<std::uint16_t>(videoTop(p) * c.thresholdPercent / 100);
      Nanos t = 1s;
      Look l = Take(line, p, set, t);
      EXPECT_TRUE(l.check.warnings & c.firstWarning) << what << ": " << l.check.verdict;
      // Follow the suggestions as an operator would: the threshold as suggested, the power a
      // half up or a third down, one line after another.
      int steps = 0;
      for (; steps < 12 && (l.check.warnings != 0 || l.check.power != signal_check::POWER_KEEP);
           ++steps) {
        set[kVThd] = l.check.suggestedThreshold;
        if (l.check.power == signal_check::POWER_RAISE) set[kPower] = set[kPower] * 3 / 2;
        if (l.check.power == signal_check::POWER_LOWER) set[kPower] = set[kPower] * 2 / 3;
        t += 400ms;
        l = Take(line, p, set, t);
      }
      EXPECT_LT(steps, 12) << what << ": " << l.check.verdict;
      EXPECT_EQ(l.check.warnings, 0u) << what << ": " << l.check.verdict;
      // The threshold was suggested for the power before the last change: take it once more.
      set[kVThd] = l.check.suggestedThreshold;
      l = Take(line, p, set, t + 400ms);
      EXPECT_EQ(l.check.warnings, 0u) << what << ": " << l.check.verdict;
      ExpectTrueEdges(l, p, what);
    }
  }
}

}  // namespace
}  // namespace rorir::sensor
