// The signal check of a video line, by table: literal lines (runs of equal words), literal
// settings, literal expectations.
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "display/signal_check.h"

using namespace signal_check;

namespace {

using Runs = std::vector<std::pair<u16, int>>;  // value, number of words

struct Line {
  std::array<u16, 256> y{};
  std::array<double, 256> x{};
};

// 256 words from the runs (the last run fills up), four sub-pixels apart.
Line MakeLine(const Runs& runs) {
  Line l;
  int i = 0;
  for (auto [value, count] : runs)
    for (int k = 0; k < count && i < 256; ++k) l.y[i++] = value;
  while (i < 256) l.y[i] = l.y[i - 1], ++i;
  for (int k = 0; k < 256; ++k) l.x[k] = 4.0 * k;
  return l;
}

Settings Set(u16 vThd, u16 eBeg = 1, u16 eEnd = 1023, u16 polarity = 1, u16 eMode = 1) {
  return {vThd, eBeg, eEnd, polarity, eMode};
}

const Runs kObject = {{800, 100}, {100, 56}, {800, 100}};  // one dark object, words 100..155

}  // namespace

TEST(SignalCheck, LevelsWarningsAndVerdictByTable) {
  struct Case {
    const char* what;
    Runs runs;
    u16 top;
    Settings set;
    u16 dark, bright;
    int noise, saturated, edges;
    unsigned warnings;
    u16 suggested;
    PowerDirection power;
    const char* verdict;
  };
  const Case cases[] = {
      {"threshold inside", kObject, 1024, Set(512), 100, 800, 0, 0, 2, 0, 450, POWER_KEEP,
       "Contrast 700, noise 0, no saturation - threshold 512 inside the signal"},
      {"threshold above", kObject, 1024, Set(900), 100, 800, 0, 0, 0,
       WARN_THRESHOLD_ABOVE | WARN_NO_EDGE, 450, POWER_KEEP,
       "Contrast 700, noise 0, no saturation - threshold 900 above the signal"},
      {"threshold on the bright level still finds edges", kObject, 1024, Set(800), 100, 800, 0, 0,
       2, 0, 450, POWER_KEEP, nullptr},
      {"threshold on the dark level does not", kObject, 1024, Set(100), 100, 800, 0, 0, 0,
       WARN_THRESHOLD_BELOW | WARN_NO_EDGE, 450, POWER_KEEP, nullptr},
      {"threshold below", kObject, 1024, Set(60), 100, 800, 0, 0, 0,
       WARN_THRESHOLD_BELOW | WARN_NO_EDGE, 450, POWER_KEEP,
       "Contrast 700, noise 0, no saturation - threshold 60 below the signal"},
      {"saturated", {{1023, 100}, {100, 56}, {1023, 100}}, 1024, Set(512), 100, 1023, 0, 200, 2,
       WARN_SATURATED, 562, POWER_LOWER,
       "Contrast 923, noise 0, saturated (200 words) - threshold 512 inside the signal"},
      {"two words at the top do not saturate", {{800, 120}, {1023, 2}, {800, 10}, {100, 124}},
       1024, Set(512), 100, 800, 0, 2, 1, 0, 450, POWER_KEEP, nullptr},
      {"three words do", {{800, 120}, {1023, 3}, {800, 9}, {100, 124}}, 1024, Set(512), 100, 800,
       0, 3, 1, WARN_SATURATED, 450, POWER_LOWER, nullptr},
      {"stray words move no level", {{0, 2}, {800, 118}, {1023, 2}, {100, 134}}, 1024, Set(512),
       100, 800, 0, 2, 2, 0, 450, POWER_KEEP, nullptr},
      {"weak on a 10-bit sensor", {{200, 100}, {20, 56}, {200, 100}}, 1024, Set(100), 20, 200, 0,
       0, 2, WARN_WEAK, 110, POWER_RAISE,
       "Contrast 180, noise 0, no saturation - threshold 100 inside the signal"},
      {"the same line fills an 8-bit range", {{200, 100}, {20, 56}, {200, 100}}, 256, Set(100), 20,
       200, 0, 0, 2, 0, 110, POWER_KEEP, nullptr},
      {"8-bit saturation", {{255, 100}, {20, 56}, {255, 100}}, 256, Set(100), 20, 255, 0, 200, 2,
       WARN_SATURATED, 138, POWER_LOWER, nullptr},
      {"window reversed", kObject, 1024, Set(512, 700, 300), 100, 800, 0, 0, 0,
       WARN_WINDOW_REVERSED, 450, POWER_KEEP, nullptr},
      {"window between the edges", kObject, 1024, Set(512, 420, 600), 100, 800, 0, 0, 0,
       WARN_NO_EDGE, 450, POWER_KEEP, nullptr},
      {"window starts on the word left of the edge", kObject, 1024, Set(512, 396, 600), 100, 800,
       0, 0, 1, 0, 450, POWER_KEEP, nullptr},
      {"window starts one sub-pixel later", kObject, 1024, Set(512, 397, 600), 100, 800, 0, 0, 0,
       WARN_NO_EDGE, 450, POWER_KEEP, nullptr},
      {"width needs two edges", {{800, 128}, {100, 128}}, 1024, Set(512, 1, 1023, 1, 2), 100, 800,
       0, 0, 1, WARN_FEW_EDGES, 450, POWER_KEEP, nullptr},
      {"right edge needs one", {{800, 128}, {100, 128}}, 1024, Set(512, 1, 1023, 1, 1), 100, 800,
       0, 0, 1, 0, 450, POWER_KEEP, nullptr},
      {"one object has no gap", kObject, 1024, Set(512, 1, 1023, 1, 4), 100, 800, 0, 0, 2,
       WARN_FEW_EDGES, 450, POWER_KEEP, nullptr},
      {"two objects have one", {{800, 60}, {100, 40}, {800, 60}, {100, 40}, {800, 56}}, 1024,
       Set(512, 1, 1023, 1, 4), 100, 800, 0, 0, 4, 0, 450, POWER_KEEP, nullptr},
      {"with bright objects the dark one is the gap", kObject, 1024,
       Set(512, 1, 1023, 0, 4), 100, 800, 0, 0, 2, 0, 450, POWER_KEEP, nullptr},
  };
  for (const Case& c : cases) {
    const Line l = MakeLine(c.runs);
    const Result r = Check(l.y.data(), l.x.data(), 256, c.top, c.set);
    SCOPED_TRACE(c.what);
    EXPECT_EQ(r.dark, c.dark);
    EXPECT_EQ(r.bright, c.bright);
    EXPECT_EQ(r.contrast, c.bright - c.dark);
    EXPECT_EQ(r.noise, c.noise);
    EXPECT_EQ(r.saturatedWords, c.saturated);
    EXPECT_EQ(r.edgeCount, c.edges);
    EXPECT_EQ(r.warnings, c.warnings);
    EXPECT_EQ(r.suggestedThreshold, c.suggested);
    EXPECT_EQ(r.power, c.power);
    if (c.verdict != nullptr) {
      EXPECT_STREQ(r.verdict, c.verdict);
    }
  }
}

TEST(SignalCheck, EdgesAreInterpolatedAndClassifiedByPolarity) {
  const Line l = MakeLine(kObject);
  // 800 -> 100 between words 99 and 100 (x 396, 400); 100 -> 800 between 155 and 156 (620, 624).
  for (u16 polarity : {1, 0}) {
    const Result r = Check(l.y.data(), l.x.data(), 256, 1024, Set(512, 1, 1023, polarity));
    ASSERT_EQ(r.edgeCount, 2);
    EXPECT_NEAR(r.edges[0].position, 397.646, 1e-3);
    EXPECT_NEAR(r.edges[1].position, 622.354, 1e-3);
    EXPECT_EQ(r.edges[0].entersObject, polarity == 1);
    EXPECT_EQ(r.edges[1].entersObject, polarity == 0);
  }
}

TEST(SignalCheck, NoiseIgnoresEdgesAndSlopesButNotNoise) {
  struct Case {
    const char* what;
    std::vector<int> pattern;  // repeated along the line, added to the base
    bool slope;
    int noise;
  };
  const Case cases[] = {
      {"flat", {0}, false, 0},
      {"straight slope of two per word", {0}, true, 0},
      {"3, -3, 0 repeated", {3, -3, 0}, false, 5},
      {"3, -3, 0 on the slope", {3, -3, 0}, true, 5},
      {"+-10 alternating", {10, -10}, false, 24},
  };
  for (const Case& c : cases) {
    Line l = MakeLine(kObject);
    for (int i = 0; i < 256; ++i)
      l.y[i] = static_cast<u16>(l.y[i] + (c.slope ? 2 * i : 0) + c.pattern[i % c.pattern.size()] + 20);
    const Result r = Check(l.y.data(), l.x.data(), 256, 2048, Set(512));
    EXPECT_EQ(r.noise, c.noise) << c.what;
  }
}

TEST(SignalCheck, MoreEdgesThanKeptAreCounted) {
  Runs comb;
  for (int k = 0; k < 40; ++k) comb.insert(comb.end(), {{800, 3}, {100, 3}});
  const Line l = MakeLine(comb);
  const Result r = Check(l.y.data(), l.x.data(), 256, 1024, Set(512));
  EXPECT_EQ(r.edgeCount, 79);
  EXPECT_NEAR(r.edges[MAX_EDGES - 1].position, 382.354, 1e-3);  // 100 -> 800 after word 95
}

TEST(SignalCheck, EveryWarningHasItsText) {
  EXPECT_STREQ(WarningText(WARN_SATURATED), "Signal saturated - lower the power");
  EXPECT_STREQ(WarningText(WARN_WEAK), "Weak signal - raise the power");
  for (int k = 0; k < WARNING_COUNT; ++k)
    EXPECT_GT(std::string(WarningText(static_cast<Warning>(1u << k))).size(), 10u) << k;
}
