// The gauge as the operator meets it: the lamp judging a running loop against the band the
// sensor echoes, the counters and their reset, the statistics window from the bar's menu, and
// the review of a recorder file with its report and figures.
#include <QAction>
#include <QMenu>
#include <QTest>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "app/review.h"
#include "app/statistics.h"
#include "display/gauge_view.h"
#include "link/com232_codec.h"
#include "link/com232_monitor.h"
#include "operator_fixture.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "resources/panels.h"
#include "support/ui_helpers.h"

namespace {

class GaugeTest : public OperatorTest {
 protected:
  void SetUp() override {
    OperatorTest::SetUp();
    ASSERT_EQ(LoadStatisticsWindow(), 0);
    ASSERT_EQ(LoadReviewWindow(), 0);
  }
  void TearDown() override {
    for (int* p : {&pStatistics, &pReview}) {
      if (*p > 0) DiscardPanel(*p);
      *p = 0;
    }
    gaugeFiguresChanged = nullptr;
    OperatorTest::TearDown();
  }
};

struct Lamp {
  std::string text;
  int colour = 0;
};

Lamp LampNow() {
  Lamp l;
  char text[16] = "";
  GetCtrlVal(pHandle, MAIN_STRjudgement, text);
  l.text = text;
  GetCtrlAttribute(pHandle, MAIN_STRjudgement, ATTR_TEXT_BGCOLOR, &l.colour);
  return l;
}

std::string Text(int panel, int control) {
  char text[512] = "";
  GetCtrlVal(panel, control, text);
  return text;
}

std::string Cell(int panel, int table, int row, int column) {
  char text[64] = "";
  GetTableCellVal(panel, table, row, column, text, sizeof text);
  return text;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The software edge mode with a setpoint and tolerance, sent to the sensor's RAM: the result
// frames echo them, and the gauge judges by what the sensor echoes.
void SendBand(int setpoint, int tolerance) {
  SetCtrlVal(pHandle, MAIN_DropHardwareMode, 0);
  SetCtrlVal(pHandle, MAIN_NUMtVal, setpoint);
  SetCtrlVal(pHandle, MAIN_NEDITTolerance, tolerance);
  Click(MAIN_BTNSend);
}

TEST_F(GaugeTest, LampJudgesTheLoopAndTheCountersFollowUntilReset) {
  StartWithSensor();
  // A band over the whole line: every M-value inside.
  SendBand(512, 60000);
  ASSERT_TRUE(PumpUntil([] { return Status() == "Line Ok!"; }, 2.0));
  EXPECT_EQ(LampNow().text, "-");
  // Looked at from inside the loop once results have come: first with the wide band, then,
  // once a band no M-value reaches was sent, when NOK results have come.
  Lamp inside, outside;
  std::function<void()> watch = [&] {
    if (inside.text.empty()) {
      if (gaugeResults < 3) return After(5, watch);
      inside = LampNow();
      SendBand(1, 0);  // a band of one pixel at the line's start
      return After(5, watch);
    }
    if (gaugeNok < 3) return After(5, watch);
    outside = LampNow();
    Click(MAIN_BTNStop);
  };
  After(5, watch);
  Click(MAIN_BTNRun);
  ASSERT_TRUE(PumpUntil([&] { return !outside.text.empty() && stop_flag != 0 && Dimmed(MAIN_BTNRun) == 0; }, 8.0));
  EXPECT_EQ(inside.text, "OK");
  EXPECT_EQ(inside.colour, LAMP_OK_COLOUR);
  EXPECT_EQ(outside.text, "NOK");
  EXPECT_EQ(outside.colour, LAMP_NOK_COLOUR);
  EXPECT_EQ(LampNow().text, "-") << "no loop runs";
  EXPECT_EQ(LampNow().colour, LAMP_IDLE_COLOUR);

  // "N results, K NOK (P %)" with some of each.
  long long results = 0, nok = 0;
  double percent = -1;
  const std::string counts = Text(pHandle, MAIN_STRcounts);
  ASSERT_EQ(std::sscanf(counts.c_str(), "%lld results, %lld NOK (%lf %%)", &results, &nok, &percent), 3) << counts;
  EXPECT_GT(nok, 0);
  EXPECT_LT(nok, results);

  // The statistics window from the position bar's menu: the gap value has no limits.
  QMenu* menu = GraphContextMenu(pHandle, MAIN_GRAPHbar);
  ASSERT_NE(menu, nullptr);
  QAction* statistics = menu->findChild<QAction*>("menuItem1");
  ASSERT_NE(statistics, nullptr);
  EXPECT_EQ(statistics->text().toStdString(), "Statistics...");
  statistics->trigger();
  ASSERT_TRUE(PumpUntil([] { return IsPanelVisible(pStatistics) == 1; }, 1.0));
  EXPECT_EQ(Cell(pStatistics, STATISTICS_TABLEfigures, 0, 1), std::to_string(results));
  EXPECT_EQ(Cell(pStatistics, STATISTICS_TABLEfigures, 6, 3), "-");  // Cp of the gap value
  EXPECT_NE(Cell(pStatistics, STATISTICS_TABLEfigures, 6, 1), "-");  // Cp of the M-value

  Click(MAIN_BTNResetCounts);
  PumpFor(0.05);
  EXPECT_EQ(Text(pHandle, MAIN_STRcounts), "No results yet");
  EXPECT_EQ(Cell(pStatistics, STATISTICS_TABLEfigures, 0, 1), "0");
}

const char kHeader[] =
    "Datum:\t04-17-2024\r\nZeit:\t13:05:09\r\nChargen-Name:\tBATCH7\r\nZeit-Intervall[s]:\t1\r\n"
    "Max. Anzahl Messwerte:\t10\r\nSlope [\xB5m/Pixel]:\t1000\r\n"
    "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tGAPPIX\tGAPVAL\tGAPLEN\r\n";

// Four records whose M-values are 10, 20, 30, 40: mean 25, sample sd sqrt(500 / 3) = 12.910;
// against typed limits 0 .. 35: Cp = 35 / (6 x 12.910) = 0.452, Cpk = (35 - 25) / (3 x 12.910)
// = 0.258, one value of four outside.
TEST_F(GaugeTest, ReviewOfAKnownFileItsReportAndWhatABadFileCouldGive) {
  const std::string path = dataDir_ + "/BATCH7.DAT";
  std::ofstream(path, std::ios::binary) << kHeader << "1\t900\t10\t2\t0\t0\t0\r\n1\t900\t20\t2\t0\t0\t0\r\n"
                                        << "1\t900\t30\t2\t0\t0\t0\r\n1\t900\t40\t2\t0\t0\t0\r\n";
  ASSERT_EQ(ReviewRecorderFile(path.c_str()), 0);
  EXPECT_EQ(IsPanelVisible(pReview), 1);
  EXPECT_EQ(Text(pReview, REVIEW_STRreviewMessage), "The whole file was read.");
  EXPECT_NE(Text(pReview, REVIEW_STRreviewHeader).find("Batch BATCH7, started 04-17-2024 13:05:09, every 1 s, at most 10, slope 1000: 4 records"), std::string::npos);
  SetCtrlVal(pReview, REVIEW_RNGreviewBand, REVIEW_BAND_TYPED);
  SetCtrlVal(pReview, REVIEW_NUMreviewLower, 0.0);
  SetCtrlVal(pReview, REVIEW_NUMreviewUpper, 35.0);
  CC_ReviewChoice(pReview, REVIEW_NUMreviewUpper, EVENT_VAL_CHANGED, nullptr, 0, 0);
  const char* const row[] = {"M-VALUE", "4", "25.000", "12.910", "10", "40", "30", "0.452", "0.258", "25.00"};
  for (int col = 0; col < 10; ++col) EXPECT_EQ(Cell(pReview, REVIEW_TABLEreviewStats, 2, col), row[col]) << col;
  EXPECT_EQ(Cell(pReview, REVIEW_TABLEreviewStats, 0, 7), "-") << "the limits are the chosen column's";

  const std::string pdf = dataDir_ + "/review.pdf", csv = dataDir_ + "/review.csv";
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, pdf.c_str());
  QTest::mouseClick(CtrlWidget(pReview, REVIEW_BTNReviewReport), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return Text(pReview, REVIEW_STRreviewMessage) == "Report saved."; }, 5.0));
  EXPECT_EQ(ReadWhole(pdf).substr(0, 5), "%PDF-");
  QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, csv.c_str());
  QTest::mouseClick(CtrlWidget(pReview, REVIEW_BTNReviewSaveStats), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return Text(pReview, REVIEW_STRreviewMessage) == "Statistics saved."; }, 5.0));
  EXPECT_NE(ReadWhole(csv).find("M-VALUE,4,25.000,12.910,"), std::string::npos) << ReadWhole(csv);

  // A bad line in the middle and a last line cut off: what could be read is shown.
  std::ofstream(path, std::ios::binary) << kHeader << "1\t900\t10\t2\t0\t0\t0\r\nnot a record\r\n"
                                        << "1\t900\t30\t2\t0\t0\t0\r\n1\t900\t4";
  EXPECT_EQ(ReviewRecorderFile(path.c_str()), 1);
  EXPECT_EQ(Text(pReview, REVIEW_STRreviewMessage), "1 bad line skipped (first: line 9); the last line is cut off.");
  EXPECT_EQ(Cell(pReview, REVIEW_TABLEreviewStats, 2, 1), "2");
  EXPECT_EQ(Cell(pReview, REVIEW_TABLEreviewStats, 2, 2), "20.000");

  std::ofstream(path, std::ios::binary) << "500\n0\n512\n";
  EXPECT_EQ(ReviewRecorderFile(path.c_str()), -1);
  EXPECT_EQ(Text(pReview, REVIEW_STRreviewMessage).rfind("Not a recorder file", 0), 0u);
  EXPECT_EQ(Cell(pReview, REVIEW_TABLEreviewStats, 2, 1), "0");
}

}  // namespace
