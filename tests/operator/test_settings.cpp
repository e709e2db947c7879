// The COM-port ring, the edge-window limits, the tolerance and the hardware mode, operated on
// the real panel; and the ring services they rely on.
#include <QComboBox>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/reconnect.h"
#include "app/settings.h"
#include "display/panel.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "operator_fixture.h"
#include "resources/panels.h"
#include "support/ui_helpers.h"

namespace {

class SettingsTest : public OperatorTest {};

std::vector<std::pair<std::string, int>> RingItems(int control) {
  std::vector<std::pair<std::string, int>> out;
  auto* box = qobject_cast<QComboBox*>(CtrlWidget(pHandle, control));
  int count = 0;
  GetNumListItems(pHandle, control, &count);
  for (int i = 0; i < count; ++i) {
    char label[300];
    GetLabelFromIndex(pHandle, control, i, label, sizeof label);
    out.push_back({label, box ? box->itemData(i).toInt() : -1});
    if (box) {
      EXPECT_EQ(box->itemText(i).toStdString(), label) << "widget and control agree";
    }
  }
  return out;
}

TEST_F(SettingsTest, RingItemsCanBeReplacedWhole) {
  ASSERT_EQ(ClearListCtrl(pHandle, MAIN_DropHardwareMode), 0);
  EXPECT_TRUE(RingItems(MAIN_DropHardwareMode).empty());
  EXPECT_EQ(InsertListItem(pHandle, MAIN_DropHardwareMode, -1, "b", 2), 0);
  EXPECT_EQ(InsertListItem(pHandle, MAIN_DropHardwareMode, 0, "a", 1), 0);
  EXPECT_EQ(InsertListItem(pHandle, MAIN_DropHardwareMode, 2, "c", 3), 0);
  EXPECT_EQ(InsertListItem(pHandle, MAIN_DropHardwareMode, 5, "x", 9), UIE_BAD_ATTRIBUTE);
  EXPECT_EQ(InsertListItem(pHandle, MAIN_NUMpower, -1, "x", 9), UIE_BAD_TYPE);
  EXPECT_EQ(ClearListCtrl(pHandle, MAIN_NUMpower), UIE_BAD_TYPE);
  EXPECT_EQ(ClearListCtrl(pHandle, 999), UIE_BAD_CONTROL);
  const std::vector<std::pair<std::string, int>> expected = {{"a", 1}, {"b", 2}, {"c", 3}};
  EXPECT_EQ(RingItems(MAIN_DropHardwareMode), expected);
  // The ring kept its value (1) and shows the item that carries it.
  auto* box = qobject_cast<QComboBox*>(CtrlWidget(pHandle, MAIN_DropHardwareMode));
  EXPECT_EQ(box->currentText().toStdString(), "a");
}

TEST_F(SettingsTest, PortRingListsEachPortWithItsDeviceAndThePortInUse) {
  const std::string threePath = dataDir_ + "/three";
  std::ofstream(threePath) << "";
  setenv("RORIR_COM3", threePath.c_str(), 1);
  setenv("RORIR_COM4", (dataDir_ + "/four-not-plugged").c_str(), 1);
  com = 1;
  FillComPortRing();
  auto items = RingItems(MAIN_DropDCom);
  const std::pair<std::string, int> first{"COM1  " + peer_.slavePath(), 1};
  const std::pair<std::string, int> third{"COM3  " + threePath, 3};
  EXPECT_NE(std::find(items.begin(), items.end(), first), items.end());
  EXPECT_NE(std::find(items.begin(), items.end(), third), items.end());
  EXPECT_EQ(items.size(), 2u) << "a variable whose device is missing lists no port";
  int value = 0;
  GetCtrlVal(pHandle, MAIN_DropDCom, &value);
  EXPECT_EQ(value, 1);

  // A port in use that resolves to nothing is still listed, in port order.
  unsetenv("RORIR_COM1");
  com = 2;
  FillComPortRing();
  items = RingItems(MAIN_DropDCom);
  auto two = std::find(items.begin(), items.end(), std::pair<std::string, int>{"COM2", 2});
  auto three = std::find(items.begin(), items.end(), third);
  ASSERT_NE(two, items.end());
  EXPECT_LT(two - items.begin(), three - items.begin());
  GetCtrlVal(pHandle, MAIN_DropDCom, &value);
  EXPECT_EQ(value, 2);
}

TEST_F(SettingsTest, ChoosingAPortWhileTheCycleRunsEndsItAndOpensTheNewPort) {
  ScriptedPeer second;
  ASSERT_TRUE(second.ok());
  setenv("RORIR_COM2", second.slavePath().c_str(), 1);
  auto secondModel = AnswerWithModel(second);
  StartWithSensor();
  FillComPortRing();
  StatusRecorder rec;
  bool chosen = false;
  After(500, [&] {
    ChooseRingValue(MAIN_DropDCom, 2);
    chosen = true;
  });
  Click(MAIN_BTNRun);
  ASSERT_TRUE(PumpUntil([&] { return chosen && com == 2 && Dimmed(MAIN_BTNRun) == 0; }, 8.0));
  PumpFor(0.1);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(second.orders(), (std::vector<std::uint16_t>{5, 10, 2, 7}));
  // The first sensor was asked for results until the change and then no more.
  const size_t firstCount = peer_.frames().size();
  EXPECT_GT(firstCount, 2u);
  PumpFor(0.2);
  EXPECT_EQ(peer_.frames().size(), firstCount);
  // "Init COM-Port ..." came first, then the opening's own texts, ending with the firmware.
  const auto& texts = rec.texts();
  auto init = std::find(texts.begin(), texts.end(), "Init COM-Port ...");
  ASSERT_NE(init, texts.end());
  ASSERT_NE(init + 1, texts.end());
  EXPECT_EQ(Status(), std::string(szStatus));
  EXPECT_EQ(texts.back(), Status());
  EXPECT_EQ(Status().find("Timeout"), std::string::npos) << Status();
}

TEST_F(SettingsTest, APortThatDoesNotExistShowsItsOpenError) {
  // Listed when the ring was filled, gone when chosen.
  const std::string absent = dataDir_ + "/absent-device";
  std::ofstream(absent) << "";
  setenv("RORIR_COM2", absent.c_str(), 1);
  com = 1;
  FillComPortRing();
  std::remove(absent.c_str());
  ChooseRingValue(MAIN_DropDCom, 2);
  ASSERT_TRUE(PumpUntil([] { return com == 2; }, 2.0));
  PumpFor(0.05);
  EXPECT_EQ(Status(), "No serial port found");
  EXPECT_EQ(com, 2) << "a failed open leaves the chosen number";
  EXPECT_EQ(comWait, COM_WAIT_NUMBER) << "and waits for a device under it";
  EXPECT_TRUE(peer_.frames().empty());
}

TEST_F(SettingsTest, EdgeLimitsAreKeptWithinTheWindow) {
  pixB = 1;
  pixE = 1024;
  struct Case {
    int control;
    const char* typed;
    int shown;
    bool corrected;
  } cases[] = {
      {MAIN_NEDITEdgeLeft, "0", 1, true},       {MAIN_NEDITEdgeLeft, "1024", 1024, false},
      {MAIN_NEDITEdgeLeft, "5000", 1023, true}, {MAIN_NEDITEdgeLeft, "500", 500, false},
      {MAIN_NEDITEdgeLeft, "800", 800, false},  {MAIN_NEDITEdgeRight, "0", 2, true},
      {MAIN_NEDITEdgeRight, "1", 1, false},     {MAIN_NEDITEdgeRight, "2000", 1024, true},
      {MAIN_NEDITEdgeRight, "500", 500, false}, {MAIN_NEDITEdgeRight, "300", 300, false},
  };
  for (const Case& c : cases) {
    const bool left = c.control == MAIN_NEDITEdgeLeft;
    u16& limit = left ? eBeg : eEnd;
    limit = 7;  // marks whether the callback stored into the global
    Type(c.control, c.typed);
    PumpFor(0.03);
    int shown = -1;
    GetCtrlVal(pHandle, c.control, &shown);
    EXPECT_EQ(shown, c.shown) << c.typed;
    double x = 0, y = 0;
    ASSERT_TRUE(InspectGraphCursor(pHandle, MAIN_GRAPHbar, left ? 2 : 3, &x, &y));
    EXPECT_EQ(x, c.shown) << c.typed;
    EXPECT_EQ(y, 1.0);
    EXPECT_EQ(limit, c.corrected ? c.shown : 7) << c.typed;
  }
  // Left 800 and right 300 are both accepted: the limits are not compared with each other.
  GetPanelValues();
  EXPECT_EQ(eBeg, 800);
  EXPECT_EQ(eEnd, 300);
}

TEST_F(SettingsTest, HardwareModeDimsTheToleranceGroupAndToleranceIsEchoed) {
  // Start from mode 1 and walk the ring with the arrow keys.
  SetCtrlVal(pHandle, MAIN_DropHardwareMode, 1);
  struct Step {
    int mode;
    int dimmed;
  } steps[] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {2, 0}};
  for (const Step& s : steps) {
    ChooseRingValue(MAIN_DropHardwareMode, s.mode);
    PumpFor(0.03);
    EXPECT_EQ(Dimmed(MAIN_NEDITTolerance), s.dimmed) << s.mode;
    EXPECT_EQ(Dimmed(MAIN_RNGtolMode), s.dimmed) << s.mode;
  }
  // Mode 2: the tolerance can be entered and its indicator follows at once.
  tTol = 5;
  Type(MAIN_NEDITTolerance, "250");
  PumpFor(0.03);
  int shown = 0;
  GetCtrlVal(pHandle, MAIN_NUMtTol, &shown);
  EXPECT_EQ(shown, 250);
  EXPECT_EQ(tTol, 5) << "the setting follows at the next panel read";
}

TEST_F(SettingsTest, AnalogModeRingShowsTheMaxMinGroupOnlyForTheHoldingModes) {
  // The ring's callback and the panel binding show the group for the same modes.
  SetCtrlAttribute(pHandle, MAIN_RNGanaMode, ATTR_DIMMED, 0);
  SetCtrlVal(pHandle, MAIN_RNGanaMode, 0);
  struct Step {
    int mode;
    int visible;
  } steps[] = {{1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {4, 1}, {3, 1}, {2, 1}, {1, 0}, {0, 0}};
  for (const Step& s : steps) {
    ChooseRingValue(MAIN_RNGanaMode, s.mode);
    PumpFor(0.03);
    for (int id : {MAIN_NUManaMax, MAIN_NUManaMin, MAIN_ButtonReset, MAIN_DECOanaMaxMin})
      EXPECT_EQ(Visible(id), s.visible) << "mode " << s.mode << ", control " << id;
  }
  anaMode = 2;
  SetPanelValues();
  EXPECT_EQ(Visible(MAIN_DECOanaMaxMin), 1) << "the panel binding shows the group for mode 2 too";
  ChooseRingValue(MAIN_RNGanaMode, 1);
  PumpFor(0.03);
  EXPECT_EQ(Visible(MAIN_DECOanaMaxMin), 0) << "and the ring hides it again for mode 1";
}

}  // namespace
