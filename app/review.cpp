// The review window over a recorder file read by the streaming reader.
#include "app/review.h"

#include <cmath>
#include <cstdio>

#include "display/gauge_view.h"
#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "recorder/recreader.h"
#include "resources/panels.h"

int pReview = 0;

namespace {

constexpr int M_VALUE_COLUMN = 2;  // the column the tolerance band is for
constexpr int HISTOGRAM_BINS = 30;
constexpr int WARNING_COLOUR = 0xB00000;  // a message about what the file lacked
constexpr int LOW_COLOUR = 0x2060C0;
constexpr int HIGH_COLOUR = 0xC04020;
constexpr int FILE_BUTTON_OK = 0;
constexpr int FILE_BUTTON_LOAD = 3;
constexpr int CSV_SIZE = 4096;

ReviewFile gFile;            // large: static storage
bool gFileRead = false;
char gPath[PATH_BUFFER_SIZE] = "";

enum StatColumn { SC_NAME, SC_N, SC_MEAN, SC_SD, SC_MIN, SC_MAX, SC_RANGE, SC_CP, SC_CPK, SC_OUTSIDE };

int Choice(int control) {
  int v = 0;
  GetCtrlVal(pReview, control, &v);
  return v;
}

// The limits of the chosen column: the band is the M-value's, typed limits are the chosen
// column's own.
gauge::Limits LimitsFor(int column) {
  const int band = Choice(REVIEW_RNGreviewBand);
  if (band == REVIEW_BAND_SETTINGS) return column == M_VALUE_COLUMN ? GaugeLimits() : gauge::Limits{};
  if (band == REVIEW_BAND_TYPED) {
    double lower = 0, upper = 0;
    GetCtrlVal(pReview, REVIEW_NUMreviewLower, &lower);
    GetCtrlVal(pReview, REVIEW_NUMreviewUpper, &upper);
    if (lower <= upper) return gauge::Limits{true, lower, upper};
  }
  return gauge::Limits{};
}

gauge::Summary ColumnSummary(int column) {
  const ReviewColumn& c = gFile.columns[column];
  const gauge::Limits limits = Choice(REVIEW_RNGreviewColumn) == column ? LimitsFor(column) : gauge::Limits{};
  gauge::Running r;
  r.n = c.n;
  r.mean = c.mean;
  r.m2 = c.m2;
  r.min = c.min;
  r.max = c.max;
  r.outside = limits.valid ? ColumnOutside(c, limits.lower, limits.upper) : 0;
  return gauge::Summarize(r, limits);
}

void Cell(int row, int column, double value, bool defined, int decimals) {
  char text[32];
  gauge::FormatFigure(value, defined, decimals, text, sizeof text);
  SetTableCellVal(pReview, REVIEW_TABLEreviewStats, row, column, text);
}

void ShowStatistics() {
  for (int col = 0; col < REVIEW_COLUMNS; ++col) {
    const gauge::Summary s = ColumnSummary(col);
    SetTableCellVal(pReview, REVIEW_TABLEreviewStats, col, SC_NAME, kReviewColumnNames[col]);
    Cell(col, SC_N, static_cast<double>(s.n), true, 0);
    Cell(col, SC_MEAN, s.mean, s.hasMean, 3);
    Cell(col, SC_SD, s.sd, s.hasSd, 3);
    Cell(col, SC_MIN, s.min, s.hasMean, 0);
    Cell(col, SC_MAX, s.max, s.hasMean, 0);
    Cell(col, SC_RANGE, s.range, s.hasMean, 0);
    Cell(col, SC_CP, s.cp, s.hasCp, 3);
    Cell(col, SC_CPK, s.cpk, s.hasCp, 3);
    Cell(col, SC_OUTSIDE, s.outsidePercent, s.hasOutside, 2);
  }
}

void PlotLimits(int graph, const gauge::Limits& limits, double x1, double x2) {
  if (!limits.valid) return;
  for (double y : {limits.lower, limits.upper}) {
    const double xs[2] = {x1, x2}, ys[2] = {y, y};
    PlotXY(pReview, graph, xs, ys, 2, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_SOLID_SQUARE, VAL_SOLID, 1,
           HISTOGRAM_LIMIT_COLOUR);
  }
}

// The chosen column over the record number: the lowest and the highest value of each bucket
// of records, so no spike is lost however long the file.
void ShowTrace(int column, const gauge::Limits& limits) {
  const ReviewColumn& c = gFile.columns[column];
  DeleteGraphPlot(pReview, REVIEW_GRAPHreviewTrace, VAL_ALL_PLOTS, VAL_NO_DRAW);
  if (c.n == 0) return;
  static double xs[REVIEW_POINTS], lows[REVIEW_POINTS], highs[REVIEW_POINTS];
  for (int i = 0; i < c.buckets; ++i) {
    xs[i] = 1.0 + static_cast<double>(i) * static_cast<double>(c.bucketWidth);
    lows[i] = c.low[i];
    highs[i] = c.high[i];
  }
  double lo = c.min, hi = c.max;
  if (limits.valid) {
    lo = std::fmin(lo, limits.lower);
    hi = std::fmax(hi, limits.upper);
  }
  const double margin = (hi - lo) * 0.05 + 1.0;
  const double last = static_cast<double>(gFile.records);
  SetAxisScalingMode(pReview, REVIEW_GRAPHreviewTrace, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1.0, last > 1.0 ? last : 2.0);
  SetAxisScalingMode(pReview, REVIEW_GRAPHreviewTrace, VAL_LEFT_YAXIS, VAL_MANUAL, lo - margin, hi + margin);
  PlotXY(pReview, REVIEW_GRAPHreviewTrace, xs, highs, c.buckets, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE,
         VAL_SOLID_SQUARE, VAL_SOLID, 1, HIGH_COLOUR);
  PlotXY(pReview, REVIEW_GRAPHreviewTrace, xs, lows, c.buckets, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE,
         VAL_SOLID_SQUARE, VAL_SOLID, 1, LOW_COLOUR);
  PlotLimits(REVIEW_GRAPHreviewTrace, limits, 1.0, last > 1.0 ? last : 2.0);
}

double NormalBelow(double x, double mean, double sd) { return 0.5 * std::erfc(-(x - mean) / (sd * std::sqrt(2.0))); }

// The histogram of the chosen column from the exact count of every value, with the fitted
// normal curve and the limits.
void ShowHistogram(int column, const gauge::Summary& s, const gauge::Limits& limits) {
  const ReviewColumn& c = gFile.columns[column];
  if (c.n == 0) {
    DeleteGraphPlot(pReview, REVIEW_GRAPHreviewHist, VAL_ALL_PLOTS, VAL_NO_DRAW);
    return;
  }
  double lo = c.min - 0.5, hi = c.max + 0.5;
  if (limits.valid) {
    lo = std::fmin(lo, limits.lower);
    hi = std::fmax(hi, limits.upper);
  }
  double width = 1.0;
  const int bins = WholeNumberBins(lo, hi, HISTOGRAM_BINS, &width);
  double counts[HISTOGRAM_BINS] = {};
  for (int v = static_cast<int>(c.min); v <= static_cast<int>(c.max); ++v) {
    int bin = static_cast<int>((v - lo) / width);
    bin = bin < 0 ? 0 : bin >= bins ? bins - 1 : bin;
    counts[bin] += c.counts[v];
  }
  double fitted[HISTOGRAM_BINS] = {};
  for (int i = 0; i < bins && s.hasSd; ++i)
    fitted[i] = static_cast<double>(c.n) *
                (NormalBelow(lo + (i + 1) * width, s.mean, s.sd) - NormalBelow(lo + i * width, s.mean, s.sd));
  DrawHistogram(pReview, REVIEW_GRAPHreviewHist, lo, width, bins, counts, s.hasSd ? fitted : nullptr, limits);
}

void ShowFile() {
  SetCtrlVal(pReview, REVIEW_STRreviewFile, gPath);
  char header[sizeof gFile.batch + 256] = "";
  if (gFile.isRecorderFile)
    std::snprintf(header, sizeof header, "Batch %s, started %s %s, every %s s, at most %s, slope %s: %lld records",
                  gFile.batch, gFile.date, gFile.time, gFile.interval, gFile.maxCount, gFile.slope, gFile.records);
  SetCtrlVal(pReview, REVIEW_STRreviewHeader, header);
  SetCtrlVal(pReview, REVIEW_STRreviewMessage, gFile.message[0] ? gFile.message : "The whole file was read.");
  SetCtrlAttribute(pReview, REVIEW_STRreviewMessage, ATTR_TEXT_COLOR, gFile.message[0] ? WARNING_COLOUR : 0x000000);
  const int column = Choice(REVIEW_RNGreviewColumn);
  const gauge::Limits limits = LimitsFor(column);
  ShowStatistics();
  ShowTrace(column, limits);
  ShowHistogram(column, ColumnSummary(column), limits);
  const int typed = Choice(REVIEW_RNGreviewBand) == REVIEW_BAND_TYPED ? 0 : 1;
  SetCtrlAttribute(pReview, REVIEW_NUMreviewLower, ATTR_DIMMED, typed);
  SetCtrlAttribute(pReview, REVIEW_NUMreviewUpper, ATTR_DIMMED, typed);
}

void OpenFromMenu(int, int) { OpenReviewWindow(); }

bool AskForFile() {
  char path[PATH_BUFFER_SIZE];
  CopyText(path, gPath);
  if (FileSelectPopup(proj_dir, "", "*.DAT", "Review a recorder file", FILE_BUTTON_LOAD, 0, 0, 1, 0, path) <= 0)
    return false;
  ReviewRecorderFile(path);
  return true;
}

}  // namespace

int LoadReviewWindow(void) {
  pReview = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_REVIEW);
  if (pReview < 0) return pReview;
  const int item = AddPanelMenuItem(pHandle, "Review a recording...", OpenFromMenu);
  return item < 0 ? item : 0;
}

int ReviewRecorderFile(const char* path) {
  CopyText(gPath, path);
  const int result = ReadRecorderFile(path, &gFile);
  gFileRead = true;
  DisplayPanel(pReview);
  ShowFile();
  return result;
}

void OpenReviewWindow(void) {
  if (pReview <= 0) return;
  if (!gFileRead && !AskForFile()) return;
  DisplayPanel(pReview);
}

int CC_BTNReview(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) OpenReviewWindow();
  return 0;
}

int CC_REVIEW(int panel, int event, void*, int, int) {
  if (event == EVENT_CLOSE) HidePanel(panel);
  return 0;
}

int CC_BTNReviewClose(int panel, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) HidePanel(panel);
  return 0;
}

int CC_BTNReviewOpen(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) AskForFile();
  return 0;
}

int CC_ReviewChoice(int, int, int event, void*, int, int) {
  if (event == EVENT_VAL_CHANGED && gFileRead) ShowFile();
  return 0;
}

int CC_BTNReviewReport(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT || !gFileRead) return 0;
  char path[PATH_BUFFER_SIZE] = "";
  if (FileSelectPopup(proj_dir, "review.pdf", "*.pdf", "Save the review report", FILE_BUTTON_OK, 0, 1, 1, 1, path) <= 0)
    return 0;
  if (ConfirmReplaceFile(path, "Report") <= 0) return 0;
  char title[PATH_BUFFER_SIZE + sizeof gFile.batch + 128];
  std::snprintf(title, sizeof title, "Review of %s - batch %s, %s %s", gPath, gFile.batch, gFile.date, gFile.time);
  const int saved = SavePanelPdf(pReview, path, title);
  SetCtrlVal(pReview, REVIEW_STRreviewMessage, saved == 0 ? "Report saved." : "Report not saved: the file could not be written!");
  return 0;
}

int CC_BTNReviewSaveStats(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT || !gFileRead) return 0;
  char path[PATH_BUFFER_SIZE] = "";
  if (FileSelectPopup(proj_dir, "review.csv", "*.csv", "Save the review statistics", FILE_BUTTON_OK, 0, 1, 1, 1,
                      path) <= 0)
    return 0;
  if (ConfirmReplaceFile(path, "Statistics") <= 0) return 0;
  gauge::Summary s[REVIEW_COLUMNS];
  for (int col = 0; col < REVIEW_COLUMNS; ++col) s[col] = ColumnSummary(col);
  static char csv[CSV_SIZE];
  const size_t n = gauge::FormatFiguresCsv(kReviewColumnNames, s, REVIEW_COLUMNS, csv, sizeof csv);
  const bool saved = n > 0 && WriteFileBytes(path, csv, n) == 0;
  SetCtrlVal(pReview, REVIEW_STRreviewMessage, saved ? "Statistics saved." : "Statistics not saved: the file could not be written!");
  return 0;
}
