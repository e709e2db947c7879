// Settings the operator can trust: what the panel has not sent is marked and never lost to a
// read nobody asked for, the compare window shows the sensor's RAM and EEPROM beside the panel
// and verifies the EEPROM, and every write is in the change log.
#include <QMenu>
#include <QTest>

#include <cstring>
#include <functional>
#include <string>

#include "app/change_log.h"
#include "app/compare.h"
#include "display/panel.h"
#include "display/sensor_set.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_monitor.h"
#include "operator_fixture.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_qt.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"
#include "support/ui_helpers.h"

namespace {

class SettingsTrustTest : public OperatorTest {
 protected:
  void TearDown() override {
    if (pCompare > 0) DiscardPanel(pCompare);
    pCompare = 0;
    OperatorTest::TearDown();
  }
};

int Background(int control) {
  int colour = 0;
  GetCtrlAttribute(pHandle, control, ATTR_TEXT_BGCOLOR, &colour);
  return colour;
}

std::string Tip(int control) { return CtrlWidget(pHandle, control)->toolTip().toStdString(); }

int Shown(int control) {
  int v = -1;
  GetCtrlVal(pHandle, control, &v);
  return v;
}

std::string Cell(int table, int row, int column) {
  char text[CHANGE_LOG_LINE_SIZE] = "";
  GetTableCellVal(pCompare, table, row, column, text, sizeof text);
  return text;
}

int CellColour(int row, int column) {
  int colour = 0;
  GetTableCellAttribute(pCompare, COMPARE_TABLEsets, row, column, ATTR_TEXT_BGCOLOR, &colour);
  return colour;
}

std::string Verdict() {
  char text[512] = "";
  GetCtrlVal(pCompare, COMPARE_STRverdict, text);
  return text;
}

// Clicks a button of the compare window and waits for the verdict it leaves.
bool Press(int button, const char* verdictStart) {
  SetCtrlVal(pCompare, COMPARE_STRverdict, "");
  QTest::mouseClick(CtrlWidget(pCompare, button), Qt::LeftButton);
  return PumpUntil([&] { return Verdict().rfind(verdictStart, 0) == 0; }, 4.0);
}

// The newest line of the change log as the window shows it.
std::string NewestLogLine() {
  std::string last;
  for (int row = 0; row < 8; ++row)
    if (!Cell(COMPARE_TABLElog, row, 0).empty()) last = Cell(COMPARE_TABLElog, row, 0);
  return last;
}

// A typed power and setpoint through the operator's own steps: each step leaves the fields
// showing these values, marked or not, with the sensor's value in the tooltip of a marked one.
TEST_F(SettingsTrustTest, UnsentMarksFollowTypingSendingReadingAndReopening) {
  StartWithSensor();
  ASSERT_EQ(Shown(MAIN_NUMpower), 500);
  const int setpoint = Shown(MAIN_NUMtVal);
  struct Step {
    const char* what;
    std::function<void()> act;
    int power;
    bool powerMarked;
    int tval;  // -1: the sensor's setpoint
    bool tvalMarked;
  } steps[] = {
      {"typed", [] { Type(MAIN_NUMpower, "777"); Type(MAIN_NUMtVal, "600"); }, 777, true, 600, true},
      {"a loop ran", [] {
         After(400, [] { Click(MAIN_BTNStop); });
         const unsigned long before = monCounters.requests[ORDER_MEASURE];
         Click(MAIN_BTNRun);
         PumpUntil([&] { return monCounters.requests[ORDER_MEASURE] > before + 2 && stop_flag != 0 &&
                                Dimmed(MAIN_BTNRun) == 0; }, 5.0);
       }, 777, true, 600, true},
      {"reopened", [] { CloseCom(com); InitRS232(com); }, 777, true, 600, true},
      {"typed back", [&] { Type(MAIN_NUMtVal, std::to_string(setpoint)); }, 777, true, -1, false},
      {"GET", [] { Click(MAIN_BTNGet); PumpUntil([] { return Status() == "Parameter-frame received! - Line Ok!"; }, 3.0); },
       500, false, -1, false},
      {"typed again", [] { Type(MAIN_NUMpower, "640"); }, 640, true, -1, false},
      {"SEND", [] { Click(MAIN_BTNSend); PumpUntil([] { return Status() == "Line Ok!"; }, 3.0); }, 640, false, -1, false},
      {"reopened after the send", [] { CloseCom(com); InitRS232(com); }, 640, false, -1, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    PumpFor(0.05);
    EXPECT_EQ(Shown(MAIN_NUMpower), s.power);
    EXPECT_EQ(Background(MAIN_NUMpower), s.powerMarked ? UNSENT_COLOUR : -1);
    EXPECT_EQ(Shown(MAIN_NUMtVal), s.tval < 0 ? setpoint : s.tval);
    EXPECT_EQ(Background(MAIN_NUMtVal), s.tvalMarked ? UNSENT_COLOUR : -1);
    if (s.powerMarked) {
      EXPECT_NE(Tip(MAIN_NUMpower).find("the sensor has 500"), std::string::npos) << Tip(MAIN_NUMpower);
    } else {
      EXPECT_EQ(Tip(MAIN_NUMpower), "");
    }
  }
  EXPECT_EQ(model_->ram()[0], 640);
}

// A sensor whose RAM and EEPROM hold different sets: the window reads both (the RAM read during
// a running loop), marks what differs from the panel, verifies the EEPROM, takes a column into
// the panel, and shows the writes in the change log.
TEST_F(SettingsTrustTest, CompareWindowReadsVerifiesTakesAndLogs) {
  const u16 another[PNUM] = {999};
  NoteTargetSet(EEPROM, another);  // known of a sensor before this one: forgotten when it comes
  StartWithSensor();
  ASSERT_EQ(LoadCompareWindow(), 0);
  // The EEPROM gets power 640 and a threshold of 400; the RAM keeps 500.
  Type(MAIN_NUMpower, "640");
  Type(MAIN_NUMVideoThreshold, "400");
  Click(MAIN_RBTEeprom);
  PumpFor(0.02);
  Click(MAIN_BTNSend);
  ASSERT_TRUE(PumpUntil([] { return Status() == "Line Ok!"; }, 3.0));
  ASSERT_TRUE(PumpUntil([this] { return model_->eeprom()[0] == 640; }, 2.0));
  ASSERT_EQ(model_->ram()[0], 500);

  QMenu* menu = PanelContextMenu(pHandle);
  ASSERT_NE(menu, nullptr);
  ASSERT_FALSE(menu->actions().isEmpty());
  menu->actions().at(0)->trigger();
  ASSERT_TRUE(PumpUntil([] { return IsPanelVisible(pCompare) == 1; }, 1.0));
  EXPECT_NE(NewestLogLine().find("| EEPROM | power ? -> 640"), std::string::npos) << NewestLogLine();

  // The RAM read runs between two exchanges of a running measurement loop, which goes on.
  SetCtrlVal(pCompare, COMPARE_STRverdict, "");
  unsigned long atRead = 0;
  int loopRanAtRead = 0;
  const unsigned long before = monCounters.requests[ORDER_MEASURE];
  // Clicked once the loop runs; the loop is stopped once it has gone on after the read.
  std::function<void()> watch = [&] {
    if (atRead == 0) {
      if (Verdict().empty()) return After(5, watch);
      atRead = monCounters.requests[ORDER_MEASURE];
      loopRanAtRead = stop_flag == 0;
    }
    if (monCounters.requests[ORDER_MEASURE] < atRead + 3 && stop_flag == 0) return After(5, watch);
    Click(MAIN_BTNStop);
  };
  std::function<void()> readWhenRunning = [&] {
    if (monCounters.requests[ORDER_MEASURE] < before + 3) return After(5, readWhenRunning);
    QTest::mouseClick(CtrlWidget(pCompare, COMPARE_BTNReadRam), Qt::LeftButton);
    watch();
  };
  After(5, readWhenRunning);
  Click(MAIN_BTNRun);
  ASSERT_TRUE(PumpUntil([&] { return atRead != 0 && stop_flag != 0 && Dimmed(MAIN_BTNRun) == 0; }, 6.0));
  EXPECT_EQ(Verdict(), "The sensor's RAM differs from the panel in 2 settings.");
  EXPECT_EQ(loopRanAtRead, 1);
  EXPECT_GT(monCounters.requests[ORDER_MEASURE], atRead) << "the loop went on after the read";
  ASSERT_TRUE(Press(COMPARE_BTNReadEeprom, "The sensor's EEPROM"));
  EXPECT_EQ(Verdict(), "The sensor's EEPROM holds the panel's settings.");

  // Power and threshold rows: panel, RAM (differs), EEPROM (the same).
  for (int row : {0, 2}) {
    EXPECT_EQ(Cell(COMPARE_TABLEsets, row, 2), row == 0 ? "640" : "400");
    EXPECT_EQ(Cell(COMPARE_TABLEsets, row, 4), row == 0 ? "640" : "400");
    EXPECT_NE(CellColour(row, 3), -1) << row;
    EXPECT_EQ(CellColour(row, 4), -1) << row;
  }
  EXPECT_EQ(Cell(COMPARE_TABLEsets, 0, 3), "500");
  EXPECT_EQ(Cell(COMPARE_TABLEsets, 0, 0), "Power");
  EXPECT_EQ(CellColour(1, 3), -1);  // the tolerance mode is the same everywhere

  ASSERT_TRUE(Press(COMPARE_BTNVerify, "Verified"));
  EXPECT_EQ(Verdict(), "Verified: the EEPROM holds the panel's settings.");
  Type(MAIN_NUMpower, "700");
  ASSERT_TRUE(Press(COMPARE_BTNVerify, "Not verified"));
  EXPECT_EQ(Verdict(), "Not verified: the EEPROM differs in 1 setting: Power 640 (panel 700).");
  EXPECT_EQ(Cell(COMPARE_TABLEsets, 0, 2), "700");
  EXPECT_EQ(CellColour(0, 2), UNSENT_COLOUR);

  // The RAM taken into the panel: nothing unsent (the RAM read told the sensor's set).
  SetCtrlVal(pCompare, COMPARE_RNGTakeFrom, RAM);
  ASSERT_TRUE(Press(COMPARE_BTNTake, "The panel took"));
  EXPECT_EQ(Shown(MAIN_NUMpower), 500);
  EXPECT_EQ(Background(MAIN_NUMpower), -1);
  SetCtrlVal(pCompare, COMPARE_RNGTakeFrom, EEPROM);
  ASSERT_TRUE(Press(COMPARE_BTNTake, "The panel took"));
  EXPECT_EQ(Verdict(), "The panel took the settings of the sensor's EEPROM: 2 not sent yet.");
  EXPECT_EQ(Shown(MAIN_NUMpower), 640);
  EXPECT_EQ(Background(MAIN_NUMpower), UNSENT_COLOUR);

  // A send to RAM is logged with what the RAM held before.
  Click(MAIN_RBTRam);
  PumpFor(0.02);
  Click(MAIN_BTNSend);
  ASSERT_TRUE(PumpUntil([] { return NewestLogLine().find("| RAM |") != std::string::npos; }, 3.0));
  EXPECT_NE(NewestLogLine().find("| RAM | power 500 -> 640, vThd "), std::string::npos) << NewestLogLine();
  EXPECT_EQ(Background(MAIN_NUMpower), -1);
}

}  // namespace
