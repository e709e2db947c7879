// The gauge's arithmetic against figures worked out by hand.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "display/gauge_stats.h"

using namespace gauge;

namespace {

// A Window is about 0.9 MB: static storage, as in the program.
Quantity q;
Window w;

void Fill(Window& win, const std::vector<double>& xs, const Limits& l) {
  Clear(win);
  SetCapacity(win, WINDOW_MAX);
  for (double x : xs) Add(win, x, Judge(x, l, 0, 1) == Verdict::Nok);
}

}  // namespace

// Limits {2, 14} unless marked. {4, 7, 13, 16}: mean 40/4 = 10, squared deviations
// 36 + 9 + 9 + 36 = 90, sd = sqrt(90/3) = sqrt(30) = 5.477225575; Cp = 12 / (6 sqrt 30) =
// 0.365148372, Cpk = min(14 - 10, 10 - 2) / (3 sqrt 30) = 0.243432248; 16 outside: 25 %.
// {20, 22}: mean 21, sd sqrt(2/1) = 1.414213562, Cp = 12 / (6 sqrt 2) = 1.414213562,
// Cpk = (14 - 21) / (3 sqrt 2) = -1.649915823, both outside: 100 %.
// 1e9 + {4, 7, 13, 16}: sd sqrt(30) again. The textbook sum of squares minus square of sum
// over n works at 4e18, where doubles lie 512 apart, and gives a variance of -170.7 here.
TEST(GaugeStats, runningAndWindowFiguresMatchHandWorkedSets) {
  const Limits band{true, 2, 14};
  struct Row {
    const char* what;
    std::vector<double> xs;
    bool limited;
    long long n;
    bool hasMean, hasSd, hasCp, hasOutside;
    double mean, sd, min, max, cp, cpk, outside;
  } rows[] = {
      {"empty", {}, true, 0, false, false, false, false, 0, 0, 0, 0, 0, 0, 0},
      {"one value", {5}, true, 1, true, false, false, true, 5, 0, 5, 5, 0, 0, 0},
      {"no spread", {3.3, 3.3, 3.3}, true, 3, true, true, false, true, 3.3, 0, 3.3, 3.3, 0, 0, 0},
      {"small set", {4, 7, 13, 16}, true, 4, true, true, true, true, 10, 5.477225575, 4, 16,
       0.365148372, 0.243432248, 25},
      {"no limits", {4, 7, 13, 16}, false, 4, true, true, false, false, 10, 5.477225575, 4, 16,
       0, 0, 0},
      {"all outside", {20, 22}, true, 2, true, true, true, true, 21, 1.414213562, 20, 22,
       1.414213562, -1.649915823, 100},
      {"large offset", {1e9 + 4, 1e9 + 7, 1e9 + 13, 1e9 + 16}, false, 4, true, true, false, false,
       1e9 + 10, 5.477225575, 1e9 + 4, 1e9 + 16, 0, 0, 0},
  };
  for (const Row& r : rows) {
    const Limits l = r.limited ? band : Limits{};
    Running run;
    for (double x : r.xs) Add(run, x, Judge(x, l, 0, 1) == Verdict::Nok);
    Fill(w, r.xs, l);
    for (const Summary& s : {Summarize(run, l), Summarize(w, l)}) {
      SCOPED_TRACE(r.what);
      EXPECT_EQ(s.n, r.n);
      ASSERT_EQ(s.hasMean, r.hasMean);
      ASSERT_EQ(s.hasSd, r.hasSd);
      ASSERT_EQ(s.hasCp, r.hasCp);
      ASSERT_EQ(s.hasOutside, r.hasOutside);
      if (r.hasMean) {
        EXPECT_DOUBLE_EQ(s.mean, r.mean);
        EXPECT_EQ(s.min, r.min);
        EXPECT_EQ(s.max, r.max);
        EXPECT_EQ(s.range, r.max - r.min);
      }
      if (r.hasSd) {
        EXPECT_NEAR(s.sd, r.sd, 1e-6 * r.sd);   // exactly 0 for no spread
      }
      if (r.hasCp) {
        EXPECT_NEAR(s.cp, r.cp, 1e-8);
        EXPECT_NEAR(s.cpk, r.cpk, 1e-8);
      }
      if (r.hasOutside) {
        EXPECT_DOUBLE_EQ(s.outsidePercent, r.outside);
      }
    }
  }
}

// 100000 values 1e9 -/+ 1 alternately: mean 1e9, sum of squares 100000, sd = sqrt(100000/99999)
// = 1.000005000, over a window filled past the ring's end three times over.
TEST(GaugeStats, fullWindowOnALargeOffsetStaysAccurate) {
  Clear(w);
  SetCapacity(w, WINDOW_MAX);
  for (int i = 0; i < 3 * WINDOW_MAX + 1; ++i) Add(w, 1e9 + (i % 2 ? 1 : -1), false);
  const Summary s = Summarize(w, Limits{});
  EXPECT_EQ(s.n, WINDOW_MAX);
  EXPECT_NEAR(s.mean, 1e9, 1e-6);
  EXPECT_NEAR(s.sd, 1.000005000, 1e-8);
}

TEST(GaugeStats, windowKeepsTheNewestValues) {
  Clear(w);
  SetCapacity(w, 3);
  for (int x = 1; x <= 5; ++x) Add(w, x, x == 5);
  ASSERT_EQ(w.count, 3);
  EXPECT_EQ(At(w, 0), 3);
  EXPECT_EQ(At(w, 2), 5);
  Summary s = Summarize(w, Limits{true, 0, 4});
  EXPECT_EQ(s.mean, 4);
  EXPECT_NEAR(s.outsidePercent, 100.0 / 3, 1e-12);

  SetCapacity(w, 2);   // newest two: 4, 5
  EXPECT_EQ(w.count, 2);
  EXPECT_EQ(At(w, 0), 4);
  SetCapacity(w, 10);   // the 3 dropped does not come back
  Add(w, 6, false);
  ASSERT_EQ(w.count, 3);
  EXPECT_EQ(At(w, 0), 4);
  EXPECT_EQ(At(w, 2), 6);

  SetCapacity(w, 1);
  EXPECT_EQ(w.capacity, WINDOW_MIN);
  SetCapacity(w, WINDOW_MAX + 1);
  EXPECT_EQ(w.capacity, WINDOW_MAX);

  SetCapacity(q.last, 50);
  Add(q.all, 1, true);
  Add(q.last, 1, true);
  Reset(q);
  EXPECT_EQ(q.all.n, 0);
  EXPECT_EQ(q.all.outside, 0);
  EXPECT_EQ(q.last.count, 0);
  EXPECT_EQ(q.last.capacity, 50);
}

// Edge mode 2 with tVal 101, tTol 5: bands of half-width 2 at 50 either side of the centre. A
// distance of 104 (edges 400, 504, centre 452) has its edges in 400..404 and 500..504; 105
// (edges 400, 505) puts the right edge outside, though 105 lies within 101 -/+ 5.
TEST(GaugeStats, verdictFollowsTheBandTheBarDraws) {
  struct Row {
    const char* what;
    u16 eMode, eHardware, tVal, tTol, sub;
    double value;
    u16 edcnt;
    Verdict expected;
  } rows[] = {
      {"inside", 0, 0, 500, 20, 1024, 500, 1, Verdict::Ok},
      {"on the lower limit", 0, 0, 500, 20, 1024, 480, 1, Verdict::Ok},
      {"on the upper limit", 1, 2, 500, 20, 1024, 520, 2, Verdict::Ok},
      {"just below", 3, 0, 500, 20, 1024, 479.5, 2, Verdict::Nok},
      {"above", 4, 0, 500, 20, 1024, 521, 2, Verdict::Nok},
      {"start clipped to 1", 0, 0, 10, 30, 1024, 1, 1, Verdict::Ok},
      {"0 left of a clipped start", 0, 0, 10, 30, 1024, 0, 1, Verdict::Nok},
      {"end clipped to the line", 0, 0, 1010, 20, 1024, 1024, 1, Verdict::Ok},
      {"past the clipped end", 0, 0, 1010, 20, 1024, 1025, 1, Verdict::Nok},
      {"end at line - 1 stays", 0, 0, 1013, 10, 1024, 1024, 1, Verdict::Nok},
      {"no edge, band drawn", 0, 0, 20, 20, 1024, 0, 0, Verdict::Nok},
      {"hardware mode", 0, 1, 500, 20, 1024, 500, 1, Verdict::NotJudged},
      {"hardware fast", 2, 3, 100, 10, 1024, 100, 2, Verdict::NotJudged},
      {"two bands, on the lower", 2, 0, 100, 10, 1024, 90, 2, Verdict::Ok},
      {"two bands, on the upper", 2, 0, 100, 10, 1024, 110, 2, Verdict::Ok},
      {"two bands, above", 2, 0, 100, 10, 1024, 111, 2, Verdict::Nok},
      {"two bands, odd halves in", 2, 0, 101, 5, 1024, 104, 2, Verdict::Ok},
      {"two bands, odd halves out", 2, 0, 101, 5, 1024, 105, 2, Verdict::Nok},
      {"two bands, no edge", 2, 0, 100, 10, 1024, 0, 0, Verdict::NotJudged},
  };
  for (const Row& r : rows) {
    const Limits l = BandLimits(r.eMode, r.eHardware, r.tVal, r.tTol, r.sub);
    EXPECT_EQ(Judge(r.value, l, r.eMode, r.edcnt), r.expected) << r.what;
  }
}

// {-1, 0, 1}: mean 0, sd 1. Expected per bin n (Phi(b) - Phi(a)): Phi(0) - Phi(-1) = 0.3413447,
// Phi(-1) - Phi(-2) = 0.1359051, times 3: 1.0240342 and 0.4077154.
TEST(GaugeStats, histogramCountsAndFittedCurve) {
  long long counts[4];
  double fitted[4];
  Fill(w, {-1, 0, 1}, Limits{});
  EXPECT_EQ(Histogram(w, -2, 2, 4, counts, fitted), 0);
  const long long wantCounts[] = {0, 1, 1, 1};
  const double wantFitted[] = {0.4077154, 1.0240342, 1.0240342, 0.4077154};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(counts[k], wantCounts[k]) << k;
    EXPECT_NEAR(fitted[k], wantFitted[k], 1e-6) << k;
  }

  // The upper end goes to the last bin; values beyond either end are counted apart.
  Fill(w, {0, 1, 1, 2, 2, 2, 3, 4, 10, -1}, Limits{});
  EXPECT_EQ(Histogram(w, 0, 4, 4, counts, fitted), 2);
  const long long wantApart[] = {1, 2, 3, 2};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(counts[k], wantApart[k]) << k;

  Fill(w, {5, 5}, Limits{});
  EXPECT_EQ(Histogram(w, 4, 6, 2, counts, fitted), 0);
  EXPECT_EQ(fitted[0], 0.0);
  EXPECT_EQ(fitted[1], 0.0);
  EXPECT_EQ(Histogram(w, 4, 4, 2, counts, fitted), -1);
  EXPECT_EQ(Histogram(w, 4, 6, 0, counts, fitted), -1);
}

namespace {

const char* const kNames[] = {"M-value, all", "Gap \"value\"\tlast 2"};

void ExpectFigureTexts() {
  Summary s[2];
  s[0].n = 4;
  s[0].mean = 10, s[0].sd = 5.477225575, s[0].min = 4, s[0].max = 16, s[0].range = 12;
  s[0].cp = 0.365148372, s[0].cpk = -1.649915823, s[0].outsidePercent = 25;
  s[0].hasMean = s[0].hasSd = s[0].hasCp = s[0].hasOutside = true;
  s[1].n = 1;
  s[1].mean = s[1].min = s[1].max = 5;
  s[1].hasMean = true;
  const std::string text =
      "Figures\tn\tMean\tSD\tMin\tMax\tRange\tCp\tCpk\tOutside %\n"
      "M-value, all\t4\t10.000\t5.477\t4.000\t16.000\t12.000\t0.365\t-1.650\t25.00\n"
      "Gap \"value\" last 2\t1\t5.000\t-\t5.000\t5.000\t0.000\t-\t-\t-\n";
  const std::string csv =
      "Figures,n,Mean,SD,Min,Max,Range,Cp,Cpk,Outside %\r\n"
      "\"M-value, all\",4,10.000,5.477,4.000,16.000,12.000,0.365,-1.650,25.00\r\n"
      "\"Gap \"\"value\"\"\tlast 2\",1,5.000,,5.000,5.000,0.000,,,\r\n";
  char out[512];
  EXPECT_EQ(FormatFiguresText(kNames, s, 2, out, sizeof out), text.size());
  EXPECT_EQ(std::string(out), text);
  EXPECT_EQ(FormatFiguresCsv(kNames, s, 2, out, sizeof out), csv.size());
  EXPECT_EQ(std::string(out), csv);
  // Exactly large enough, and one byte short: nothing half written.
  EXPECT_EQ(FormatFiguresCsv(kNames, s, 2, out, csv.size() + 1), csv.size());
  EXPECT_EQ(FormatFiguresCsv(kNames, s, 2, out, csv.size()), 0u);
  EXPECT_STREQ(out, "");

  const struct {
    double value;
    bool defined;
    int decimals;
    const char* text;
  } cells[] = {{1.23456, true, 3, "1.235"}, {2.6, true, 0, "3"},       {-1.2371, true, 2, "-1.24"},
               {-0.0004, true, 3, "0.000"}, {0.5, true, 12, "0.500000000"}, {7, false, 3, "-"}};
  for (const auto& c : cells) {
    EXPECT_EQ(FormatFigure(c.value, c.defined, c.decimals, out, sizeof out), std::strlen(c.text));
    EXPECT_STREQ(out, c.text);
  }
  EXPECT_EQ(FormatFigure(12.345, true, 3, out, 6), 0u);
  EXPECT_EQ(FormatFigure(12.345, true, 3, out, 7), 6u);
}

}  // namespace

TEST(GaugeStats, figuresAsCopyTextAndCsv) { ExpectFigureTexts(); }

// A machine without the German locale gets one built from the system's locale sources into a
// folder of the test's own (LOCPATH), so the test runs wherever those sources are.
bool UseGermanNumbers(std::string* folder) {
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) return true;
  char pattern[] = "/tmp/rorir-locale-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  *folder = pattern;
  const std::string build = "localedef -i de_DE -f UTF-8 " + *folder + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(build.c_str()) != 0) return false;
  setenv("LOCPATH", folder->c_str(), 1);
  return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST(GaugeStats, figuresKeepTheDecimalPointUnderADecimalCommaLocale) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  std::string folder;
  const bool german = UseGermanNumbers(&folder);
  if (!german) {
    if (!folder.empty()) std::filesystem::remove_all(folder);
    GTEST_SKIP() << "no de_DE.UTF-8 locale, and none could be built";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  EXPECT_STREQ(probe, "0,5");   // the locale is in force
  ExpectFigureTexts();
  std::setlocale(LC_NUMERIC, before.c_str());
  unsetenv("LOCPATH");
  if (!folder.empty()) std::filesystem::remove_all(folder);
}
