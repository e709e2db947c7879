// Arithmetic of the position bar and the trend, and the array shift of the trend history:
// plain inputs in, numbers out, no panel.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "display/gui.h"
#include "display/gui_math.h"

using namespace gui_math;

TEST(GuiMath, GreenBandLeftEndIsSignedAndBecomesOneOnlyBelowZero) {
  struct Case {
    u16 eMode, edcnt, p, tVal, tTol, sub;
    std::vector<int> ends;  // x1, x2 of each band
  };
  const Case cases[] = {
      {0, 1, 0, 100, 150, 1024, {1, 250}},               // tVal - tTol = -50
      {1, 1, 0, 100, 100, 1024, {0, 200}},               // exactly 0 stays 0
      {1, 1, 0, 10, 65535, 1024, {1, 1024}},             // no wrap of 10 - 65535
      {4, 0, 0, 1000, 100, 1024, {900, 1024}},           // 1100 above 1023
      {3, 2, 0, 900, 123, 1024, {777, 1023}},            // 1023 is not above 1023
      {2, 2, 500, 101, 21, 1024, {440, 460, 540, 560}},  // halves with the remainder dropped
      {2, 2, 20, 101, 21, 1024, {1, -20, 60, 80}},       // left end -40 becomes 1
      {2, 2, 1000, 101, 21, 1024, {940, 960, 1040, 1060}},  // right band not clipped
      {2, 2, 1010, 0, 40, 1024, {990, 1024, 990, 1030}},    // left band clipped at the top
      {2, 0, 500, 101, 21, 1024, {}},                    // no edge, no band
  };
  for (const Case& c : cases) {
    Span out[2];
    const int n = GreenBands(c.eMode, c.edcnt, c.p, c.tVal, c.tTol, c.sub, out);
    std::vector<int> ends;
    for (int i = 0; i < n; ++i) ends.insert(ends.end(), {out[i].x1, out[i].x2});
    EXPECT_EQ(ends, c.ends) << "eMode " << c.eMode << " p " << c.p << " tVal " << c.tVal
                            << " tTol " << c.tTol;
  }
}

TEST(GuiMath, CentreOfTwoLargeEdgesDoesNotOverflow) {
  EXPECT_EQ(CursorPosition(3, 65000, 65534), 65267);
  EXPECT_EQ(CursorPosition(2, 65535, 65535), 65535);
}

TEST(GuiMath, TrendWindowFollowsSetpointToleranceAndMValue) {
  struct Case {
    u16 tVal, tTol, mvalue, x8;
    int lo, hi;
  };
  const Case cases[] = {
      {512, 20, 512, 8192, 312, 712},     // narrow tolerance: +/- 200
      {512, 49, 800, 8192, 312, 900},     // M-value above: top to M + 100
      {512, 20, 250, 8192, 150, 712},     // M-value below: bottom to M - 100
      {512, 20, 712, 8192, 312, 712},     // on the edge counts as inside
      {512, 50, 512, 8192, 312, 712},     // 50 is wide: +/- 4 x tTol
      {512, 100, 1000, 8192, 112, 1200},  // M-value above: M + 200
      {512, 100, 50, 8192, 1, 912},       // below 1 is kept at 1
      {8100, 100, 8100, 8192, 7700, 8191},  // above the line's end is kept at its end
      {65535, 0, 65535, 8192, 8190, 8191},  // far beyond the line: one unit high at its end
      {100, 10, 100, 0, 1, 2},              // no geometry yet: still a usable window
  };
  for (const Case& c : cases) {
    const Window w = TrendWindow(c.tVal, c.tTol, c.mvalue, c.x8);
    EXPECT_EQ(w.lo, c.lo) << c.tVal << " " << c.tTol << " " << c.mvalue;
    EXPECT_EQ(w.hi, c.hi) << c.tVal << " " << c.tTol << " " << c.mvalue;
  }
}

TEST(Shift, MovesWithZeroFillOrReportsABadCount) {
  struct Case {
    int n, shifts, result;
    std::vector<double> expected;  // y afterwards (y starts as all 9)
  };
  const Case cases[] = {
      {4, 1, 0, {0, 1, 2, 3}},
      {4, -2, 0, {3, 4, 0, 0}},
      {4, 0, 0, {1, 2, 3, 4}},
      {4, 3, 0, {0, 0, 0, 1}},
      {4, -3, 0, {4, 0, 0, 0}},
      {4, 4, SHIFT_ERR_RANGE, {9, 9, 9, 9}},
      {4, -4, SHIFT_ERR_RANGE, {9, 9, 9, 9}},
      {4, INT_MIN, SHIFT_ERR_RANGE, {9, 9, 9, 9}},
      {0, 0, SHIFT_ERR_COUNT, {9, 9, 9, 9}},
      {-1, 1, SHIFT_ERR_COUNT, {9, 9, 9, 9}},
  };
  for (const Case& c : cases) {
    const double x[4] = {1, 2, 3, 4};
    double y[4] = {9, 9, 9, 9};
    EXPECT_EQ(Shift(x, c.n, c.shifts, y), c.result) << "n " << c.n << " by " << c.shifts;
    EXPECT_EQ(std::vector<double>(y, y + 4), c.expected) << "n " << c.n << " by " << c.shifts;
  }
}

TEST(Shift, InPlaceBothWaysReadsEveryValueBeforeItIsOverwritten) {
  double a[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(Shift(a, 6, 2, a), 0);
  EXPECT_EQ(std::vector<double>(a, a + 6), (std::vector<double>{0, 0, 1, 2, 3, 4}));
  ASSERT_EQ(Shift(a, 6, -3, a), 0);
  EXPECT_EQ(std::vector<double>(a, a + 6), (std::vector<double>{2, 3, 4, 0, 0, 0}));
}

TEST(Copy1D, CopiesOrReportsABadCount) {
  const double x[3] = {1.5, -2, 3};
  double y[3] = {0, 0, 0};
  EXPECT_EQ(Copy1D(x, 3, y), 0);
  EXPECT_EQ(std::vector<double>(y, y + 3), (std::vector<double>{1.5, -2, 3}));
  double z[3] = {7, 7, 7};
  EXPECT_EQ(Copy1D(x, 0, z), SHIFT_ERR_COUNT);
  EXPECT_EQ(std::vector<double>(z, z + 3), (std::vector<double>{7, 7, 7}));
}
