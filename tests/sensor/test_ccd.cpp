// The simulated line: the results of a measurement agree with the video it serves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "sensor_test_util.h"

namespace rorir::sensor::test {
namespace {

struct Crossing {
  std::size_t after;  // the crossing lies between video words after-1 and after
};

// The test's own reading of a video line: where it crosses the threshold inside the window.
std::vector<Crossing> crossings(const Video& v, const Words& set, unsigned step) {
  std::vector<Crossing> out;
  const unsigned thd = set[kVThd];
  for (std::size_t i = 1; i < kVideoWords; ++i) {
    if ((i - 1) * step < set[kEBeg] || i * step > set[kEEnd]) continue;
    if ((v[i - 1] < thd) != (v[i] < thd)) out.push_back({i});
  }
  return out;
}

Words settings(const Profile& p, std::initializer_list<std::pair<Setting, unsigned>> changes) {
  Words w = defaultSettings(p);
  for (auto [s, v] : changes) w[s] = static_cast<std::uint16_t>(v);
  return w;
}

TEST(SensorVideo, EdgesLieWhereTheServedVideoCrossesTheThreshold) {
  for (const Profile& p : profiles()) {
    const unsigned step = videoStep(p);
    for (int objects : {1, 2}) {
      for (unsigned polarity : {1u, 0u}) {
        Model m(opts(&p, 11, objects));
        const Words set = settings(p, {{kPolarity, polarity}});
        ask(m, request(1, set), 0s);
        for (int second : {0, 7, 19, 33}) {
          const Nanos t = std::chrono::seconds(second);
          std::optional<Bytes> a = ask(m, request(8), t);
          ASSERT_TRUE(a);
          const Video v = readVideo(m, t);
          const std::string where = std::string(p.name) + " objects " + std::to_string(objects) +
                                    " polarity " + std::to_string(polarity) + " t " +
                                    std::to_string(second);
          std::vector<Crossing> c = crossings(v, set, step);
          ASSERT_EQ(c.size(), 2u * objects) << where;
          EXPECT_EQ(word(*a, 7), c.size()) << where << ": edge count";
          const unsigned Ledge = word(*a, 0), Redge = word(*a, 1);
          EXPECT_GE(Ledge, (c.front().after - 1) * step) << where;
          EXPECT_LE(Ledge, c.front().after * step) << where;
          EXPECT_GE(Redge, (c.back().after - 1) * step) << where;
          EXPECT_LE(Redge, c.back().after * step) << where;
          EXPECT_EQ(word(*a, 8), Ledge) << where << ": M-value range starts at the first edge";
          EXPECT_EQ(word(*a, 9), Redge) << where;
          // The gap is the background between the first two objects: with dark objects the
          // light between the shadows, with bright objects the first shadow.
          const std::size_t gapStart = polarity == 1 ? 1 : 0;
          if (polarity == 1 && objects == 1) {
            EXPECT_EQ(word(*a, 13), 0u) << where << ": no gap with one dark object";
          } else {
            const unsigned gapLen = word(*a, 13), gapVal = word(*a, 14);
            EXPECT_GE(gapVal - gapLen / 2, (c[gapStart].after - 1) * step - 1) << where;
            EXPECT_LE(gapVal + gapLen / 2, c[gapStart + 1].after * step + 1) << where;
            EXPECT_EQ(word(*a, 15), gapVal * p.pixels / p.subpixel) << where << ": gap in pixels";
          }
        }
      }
    }
  }
}

TEST(SensorVideo, EdgeModeChoosesTheMValue) {
  const Profile& p = *findProfile("t102");
  for (unsigned eMode = 0; eMode <= 4; ++eMode) {
    Model m(opts(&p, 8));
    ask(m, request(1, settings(p, {{kEMode, eMode}})), 0s);
    std::optional<Bytes> a = ask(m, request(8), 5s);
    ASSERT_TRUE(a);
    const unsigned L = word(*a, 0), R = word(*a, 1), M = word(*a, 2), gapVal = word(*a, 14);
    const unsigned expected[] = {L, R, R - L, (L + R) / 2, gapVal};
    EXPECT_EQ(M, expected[eMode]) << "edge mode " << eMode;
  }
}

TEST(SensorVideo, EdgeWindowLimitsTheEdgesFound) {
  const Profile& p = *findProfile("t1");
  const unsigned L = p.subpixel;
  struct Case {
    const char* what;
    unsigned eBeg, eEnd, polarity;
    unsigned edges;
    int rangeDirection;  // sign of mvend - mvstart
  } cases[] = {
      {"whole line", 1, L, 1, 4, +1},
      {"first object only", 1, L * 55 / 100, 1, 2, +1},
      {"bright part between the objects", L / 2, L * 60 / 100, 1, 0, 0},
      {"one edge, dark object to its right", 1, L * 34 / 100, 1, 1, +1},
      {"one edge, bright object to its left", 1, L * 34 / 100, 0, 1, -1},
      {"window backwards", L, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    Model m(opts(&p, 21));
    ask(m, request(1, settings(p, {{kEBeg, c.eBeg}, {kEEnd, c.eEnd}, {kPolarity, c.polarity}})), 0s);
    for (int second : {0, 12, 25, 40}) {
      std::optional<Bytes> a = ask(m, request(8), std::chrono::seconds(second));
      ASSERT_TRUE(a);
      EXPECT_EQ(word(*a, 7), c.edges) << c.what << " at " << second << " s";
      const int direction = (word(*a, 9) > word(*a, 8)) - (word(*a, 9) < word(*a, 8));
      EXPECT_EQ(direction, c.rangeDirection) << c.what;
      if (c.edges == 0) {
        EXPECT_EQ(word(*a, 0) + word(*a, 1) + word(*a, 2), 0) << c.what;
      } else {
        EXPECT_GE(word(*a, 0), c.eBeg) << c.what;
        EXPECT_LE(word(*a, 1), c.eEnd) << c.what;
      }
    }
  }
}

TEST(SensorVideo, AutomaticPowerHoldsTheBrightnessThatFixedPowerLetsDrift) {
  const Profile& p = *findProfile("t1");
  auto brightnessSpread = [&](unsigned powMode, unsigned& powerSpread) {
    Model m(opts(&p, 4));
    ask(m, request(1, settings(p, {{kPowMode, powMode}, {kAverage, 16}})), 0s);
    unsigned lo = 0xFFFF, hi = 0, pLo = 0xFFFF, pHi = 0;
    for (int k = 0; k < 24; ++k) {
      const Nanos t = std::chrono::seconds(2 * k);
      std::optional<Bytes> a = ask(m, request(8), t);
      const Video v = readVideo(m, t);
      const unsigned peak = *std::max_element(v.begin(), v.end());
      lo = std::min(lo, peak);
      hi = std::max(hi, peak);
      pLo = std::min<unsigned>(pLo, word(*a, 10));
      pHi = std::max<unsigned>(pHi, word(*a, 10));
    }
    powerSpread = pHi - pLo;
    return hi - lo;
  };
  unsigned fixedPower = 0, autoPower = 0;
  const unsigned fixedSpread = brightnessSpread(0, fixedPower);
  const unsigned autoSpread = brightnessSpread(1, autoPower);
  EXPECT_EQ(fixedPower, 0u) << "power mode 0 uses the power setting as it is";
  EXPECT_GT(autoPower, 0u) << "the automatic mode changes the power in use";
  EXPECT_LT(autoSpread * 3, fixedSpread);
}

TEST(SensorVideo, EdgesDriftSlowlyAndBlocksServeTheLastMeasurement) {
  Model m(opts(findProfile("t1"), 6, 1));
  const unsigned step = videoStep(m.profile());
  unsigned lo = 0xFFFF, hi = 0, previous = 0;
  for (int k = 0; k < 300; ++k) {
    const Nanos t = std::chrono::milliseconds(200 * k);
    std::optional<Bytes> a = ask(m, request(8), t);
    const unsigned Ledge = word(*a, 0);
    if (k > 0) {
      EXPECT_LE(std::abs(int(Ledge) - int(previous)), int(2 * step)) << "at " << k;
    }
    previous = Ledge;
    lo = std::min(lo, Ledge);
    hi = std::max(hi, Ledge);
  }
  EXPECT_GT(hi - lo, 10 * step) << "over a minute the edge wanders";

  const Video first = readVideo(m, 61s);
  EXPECT_EQ(readVideo(m, 62s), first) << "blocks repeat the line of the last measure";
  ask(m, request(8), 63s);
  EXPECT_NE(readVideo(m, 63s), first);
}

}  // namespace
}  // namespace rorir::sensor::test
