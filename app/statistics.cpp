// The statistics window over the live gauge's state.
#include "app/statistics.h"

#include <cstdio>

#include "display/gauge_view.h"
#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

int pStatistics = 0;

namespace {

constexpr int HISTOGRAM_BINS = 30;
constexpr int FIGURE_DECIMALS = 3;
constexpr int CSV_SIZE = 4096;
constexpr int FILE_BUTTON_SAVE = 0;

// The table's columns: the figure's name, then the four summaries.
constexpr int kSummaries = 4;
const char* const kSummaryNames[kSummaries] = {"M-value, all", "M-value, last N", "Gap value, all",
                                               "Gap value, last N"};
// The table's rows.
enum Row { ROW_N, ROW_MEAN, ROW_SD, ROW_MIN, ROW_MAX, ROW_RANGE, ROW_CP, ROW_CPK, ROW_OUTSIDE, ROWS };
const char* const kRowNames[ROWS] = {"n",           "Mean (pixel)", "Standard deviation (pixel)",
                                     "Minimum (pixel)", "Maximum (pixel)", "Range (pixel)",
                                     "Cp",          "Cpk",          "Outside the limits (%)"};

void Summaries(gauge::Summary out[kSummaries]) {
  const gauge::Limits band = GaugeLimits();
  const gauge::Limits none{};
  out[0] = gauge::Summarize(gaugeMvalue.all, band);
  out[1] = gauge::Summarize(gaugeMvalue.last, band);
  out[2] = gauge::Summarize(gaugeGap.all, none);
  out[3] = gauge::Summarize(gaugeGap.last, none);
}

void ShowFigure(int row, int column, double value, bool defined, int decimals) {
  char text[32];
  gauge::FormatFigure(value, defined, decimals, text, sizeof text);
  SetTableCellVal(pStatistics, STATISTICS_TABLEfigures, row, column, text);
}

void ShowSummary(int column, const gauge::Summary& s) {
  ShowFigure(ROW_N, column, static_cast<double>(s.n), true, 0);
  ShowFigure(ROW_MEAN, column, s.mean, s.hasMean, FIGURE_DECIMALS);
  ShowFigure(ROW_SD, column, s.sd, s.hasSd, FIGURE_DECIMALS);
  ShowFigure(ROW_MIN, column, s.min, s.hasMean, 0);
  ShowFigure(ROW_MAX, column, s.max, s.hasMean, 0);
  ShowFigure(ROW_RANGE, column, s.range, s.hasMean, 0);
  ShowFigure(ROW_CP, column, s.cp, s.hasCp, FIGURE_DECIMALS);
  ShowFigure(ROW_CPK, column, s.cpk, s.hasCp, FIGURE_DECIMALS);
  ShowFigure(ROW_OUTSIDE, column, s.outsidePercent, s.hasOutside, 2);
}

// The histogram of the chosen window: bars, the fitted normal curve and the limits.
void ShowHistogram(const gauge::Summary& s, const gauge::Window& w, const gauge::Limits& limits) {
  if (!s.hasMean) {
    DeleteGraphPlot(pStatistics, STATISTICS_GRAPHhistogram, VAL_ALL_PLOTS, VAL_NO_DRAW);
    return;
  }
  double lo = s.min, hi = s.max;
  if (limits.valid) {
    lo = lo < limits.lower ? lo : limits.lower;
    hi = hi > limits.upper ? hi : limits.upper;
  }
  const double margin = (hi - lo) * 0.05 + 1.0;
  lo -= margin;
  hi += margin;
  double width = 1.0;
  const int bins = WholeNumberBins(lo, hi, HISTOGRAM_BINS, &width);
  static long long counts[HISTOGRAM_BINS];
  static double bars[HISTOGRAM_BINS], fitted[HISTOGRAM_BINS];
  gauge::Histogram(w, lo, hi, bins, counts, fitted);
  for (int i = 0; i < bins; ++i) bars[i] = static_cast<double>(counts[i]);
  DrawHistogram(pStatistics, STATISTICS_GRAPHhistogram, lo, width, bins, bars, s.hasSd ? fitted : nullptr, limits);
}

void OpenFromMenu(int, int, int) { OpenStatisticsWindow(); }

}  // namespace

int LoadStatisticsWindow(void) {
  pStatistics = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_STATISTICS);
  if (pStatistics < 0) return pStatistics;
  for (int row = 0; row < ROWS; ++row) SetTableCellVal(pStatistics, STATISTICS_TABLEfigures, row, 0, kRowNames[row]);
  gaugeFiguresChanged = RefreshStatisticsWindow;
  if (AddGraphMenuItem(pHandle, MAIN_GRAPHbar, "Statistics...", OpenFromMenu) < 0) return -1;
  if (AddGraphMenuItem(pHandle, MAIN_CHARTraw, "Statistics...", OpenFromMenu) < 0) return -1;
  return 0;
}

void OpenStatisticsWindow(void) {
  if (pStatistics <= 0) return;
  DisplayPanel(pStatistics);
  RefreshStatisticsWindow();
}

void RefreshStatisticsWindow(void) {
  if (pStatistics <= 0 || IsPanelVisible(pStatistics) != 1) return;
  gauge::Summary s[kSummaries];
  Summaries(s);
  for (int i = 0; i < kSummaries; ++i) ShowSummary(i + 1, s[i]);
  const gauge::Limits band = GaugeLimits();
  char limits[96];
  if (band.valid)
    std::snprintf(limits, sizeof limits, "M-value: %.0f to %.0f pixel (the tolerance band); gap value: none",
                  band.lower, band.upper);
  else
    CopyText(limits, "The tolerance band is not in use: no limits");
  SetCtrlVal(pStatistics, STATISTICS_STRlimits, limits);
  int which = 0;
  GetCtrlVal(pStatistics, STATISTICS_RNGhistogram, &which);
  if (which == 0)
    ShowHistogram(s[1], gaugeMvalue.last, band);
  else
    ShowHistogram(s[3], gaugeGap.last, gauge::Limits{});
}

int CC_BTNStatistics(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) OpenStatisticsWindow();
  return 0;
}

int CC_BTNResetCounts(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) GaugeReset();
  return 0;
}

int CC_BTNStatReset(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) GaugeReset();
  return 0;
}

int CC_STATISTICS(int panel, int event, void*, int, int) {
  if (event == EVENT_CLOSE) HidePanel(panel);
  return 0;
}

int CC_BTNStatClose(int panel, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) HidePanel(panel);
  return 0;
}

int CC_NUMlastN(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_VAL_CHANGED) return 0;
  int n = gauge::WINDOW_DEFAULT;
  GetCtrlVal(panel, control, &n);
  gauge::SetCapacity(gaugeMvalue.last, n);
  gauge::SetCapacity(gaugeGap.last, n);
  RefreshStatisticsWindow();
  return 0;
}

int CC_RNGhistogram(int, int, int event, void*, int, int) {
  if (event == EVENT_VAL_CHANGED) RefreshStatisticsWindow();
  return 0;
}

int CC_BTNStatCopy(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  gauge::Summary s[kSummaries];
  Summaries(s);
  static char text[CSV_SIZE];
  if (gauge::FormatFiguresText(kSummaryNames, s, kSummaries, text, sizeof text) > 0) CopyTextToClipboard(text);
  return 0;
}

int CC_BTNStatSave(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  static char path[PATH_BUFFER_SIZE];
  if (FileSelectPopup(proj_dir, "statistics.csv", "*.csv", "Save the statistics", FILE_BUTTON_SAVE, 0, 1, 1,
                      1, path) <= 0)
    return 0;
  if (ConfirmReplaceFile(path, "Statistics") <= 0) return 0;
  gauge::Summary s[kSummaries];
  Summaries(s);
  static char csv[CSV_SIZE];
  const size_t n = gauge::FormatFiguresCsv(kSummaryNames, s, kSummaries, csv, sizeof csv);
  if (n == 0 || WriteFileBytes(path, csv, n) != 0) {
    ResetTextBox(pHandle, MAIN_TBOXstatus, "Statistics not saved: the file could not be written!");
    return 0;
  }
  ResetTextBox(pHandle, MAIN_TBOXstatus, "Statistics saved");
  return 0;
}
