// Devices that come and go while the program runs, with the port watch on: the COM ring
// follows them; the port in use, pulled, ends a running loop or recording, is awaited with its
// own status text and, back again, is opened and the sensor identified without any loop
// starting; the operator's own COM choice cancels the wait; a number with no device is opened
// once a device appears under it, and no other device ever is.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/main_panel.h"
#include "app/reconnect.h"
#include "app/settings.h"
#include "display/gui.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "platform/serial/rs232_names.h"
#include "recorder/recfile.h"
#include "resources/panels.h"
#include "fault_probe.h"
#include "sensor_line.h"
#include "support/own_ports.h"
#include "support/ui_helpers.h"

extern "C" char** environ;

namespace {

const std::vector<std::uint16_t> kIdentification = {5, 10, 2, 7};
constexpr const char* kWaitingText = "COM1 lost - waiting for it to come back ...";

int Dimmed(int control) {
  int v = -1;
  GetCtrlAttribute(pHandle, control, ATTR_DIMMED, &v);
  return v;
}

int CtrlInt(int control) {
  int v = 0;
  GetCtrlVal(pHandle, control, &v);
  return v;
}

// The labels of the COM ring.
std::vector<std::string> Ring() {
  std::vector<std::string> out;
  int count = 0;
  GetNumListItems(pHandle, MAIN_DropDCom, &count);
  for (int i = 0; i < count; ++i) {
    char label[400];
    GetLabelFromIndex(pHandle, MAIN_DropDCom, i, label, sizeof label);
    out.push_back(label);
  }
  return out;
}

bool RingHas(const std::string& label) {
  const std::vector<std::string> ring = Ring();
  return std::find(ring.begin(), ring.end(), label) != ring.end();
}

void Click(int panel, int control) {
  QWidget* w = CtrlWidget(panel, control);
  ASSERT_NE(w, nullptr) << control;
  QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
}

// Moves the COM ring one item down, as the operator does with the arrow key.
void ChooseNextPort() {
  auto* box = qobject_cast<QComboBox*>(CtrlWidget(pHandle, MAIN_DropDCom));
  ASSERT_NE(box, nullptr);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Down);
}

// Runs `act` once, from inside whatever loop pumps events, as soon as `ready` holds.
class When {
 public:
  When(std::function<bool()> ready, std::function<void()> act) {
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, [this, ready, act] {
      if (done || !ready()) return;
      done = true;
      act();
    });
    timer_.start();
  }
  bool done = false;

 private:
  QTimer timer_;
};

class Reconnection : public ::testing::Test {
 protected:
  void SetUp() override {
    dataDir_ = MakeTempDir();
    ASSERT_FALSE(dataDir_.empty());
    UseOnlyOwnPorts(dataDir_);

    line_ = std::make_unique<SensorLine>(dataDir_ + "/com1");
    ASSERT_TRUE(line_->peer().ok());
    setenv("RORIR_DATA_DIR", dataDir_.c_str(), 1);
    setenv("RORIR_COM1", (dataDir_ + "/com1").c_str(), 1);
    setenv("RORIR_COM2", (dataDir_ + "/com2").c_str(), 1);
    std::string why;
    ASSERT_TRUE(OpenProgramOnCom1(&why)) << why;
    NoteComOutcome();
    StartPortWatch();
    ASSERT_EQ(line_->peer().orders(), kIdentification) << Text(pHandle, MAIN_TBOXstatus);
    line_->peer().clearFrames();
  }

  void TearDown() override {
    StopPortWatch();
    stop_flag = 1;
    PumpFor(0.3);
    CloseProgram();
    line_.reset();
    for (const char* name : {"RORIR_DATA_DIR", "RORIR_COM1", "RORIR_COM2"}) unsetenv(name);
    rs232::SetDeviceFolders("/sys/class/tty", "/dev");
    RemoveTree(dataDir_);
  }

  // Plugs the sensor back in and waits for the program to identify it; returns the seconds
  // that took, or a negative number when it did not happen.
  double PlugInAndWaitForIdentification() {
    line_->plugIn();
    const double back = Timer();
    if (!PumpUntil([this] { return line_->peer().orders().size() >= 4 && comWait == COM_WAIT_NONE; }, 15.0))
      return -1.0;
    const double took = Timer() - back;
    std::printf("[ measured ] identified again %.3f s after the device came back\n", took);
    return took;
  }

  std::string dataDir_;
  std::unique_ptr<SensorLine> line_;
};

TEST_F(Reconnection, PortPulledDuringRunEndsTheLoopWaitsAndIdentifiesTheSensorWhenBack) {
  const unsigned long drawn = resultFramesDrawn;
  When pull([&] { return resultFramesDrawn >= drawn + 3; }, [this] { line_->unplug(); });
  Click(pHandle, MAIN_BTNRun);
  ASSERT_TRUE(PumpUntil([&] { return pull.done && Dimmed(MAIN_BTNRun) == 0 && comWait != COM_WAIT_NONE; }, 10.0))
      << Text(pHandle, MAIN_TBOXstatus);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(comWait, COM_WAIT_DEVICE);
  EXPECT_EQ(Text(pHandle, MAIN_TBOXstatus), kWaitingText);
  EXPECT_TRUE(RingHas("COM1")) << "the port in use stays in the ring";
  // The last results stay, marked as not live.
  const int mvalue = CtrlInt(MAIN_NUMmvalue2);
  EXPECT_NE(mvalue, 0);
  EXPECT_EQ(Dimmed(MAIN_NUMledge), 1);
  EXPECT_EQ(Dimmed(MAIN_NUMmvalue2), 1);

  // Waiting costs nothing: far below a loop that spins (a whole core).
  const double cpu = ThreadCpuSeconds();
  PumpFor(2.0);
  EXPECT_LT(ThreadCpuSeconds() - cpu, 1.0);
  EXPECT_EQ(Text(pHandle, MAIN_TBOXstatus), kWaitingText);

  const double took = PlugInAndWaitForIdentification();
  ASSERT_GE(took, 0.0) << Text(pHandle, MAIN_TBOXstatus);
  EXPECT_LT(took, 10.0);
  EXPECT_EQ(line_->peer().orders(), kIdentification);
  const std::string status = Text(pHandle, MAIN_TBOXstatus);
  for (const char* bad : {"Timeout", "rror", "lost"}) EXPECT_EQ(status.find(bad), std::string::npos) << status;
  // The same sensor is back: its results are live again.
  EXPECT_EQ(Dimmed(MAIN_NUMledge), 0);
  EXPECT_EQ(CtrlInt(MAIN_NUMmvalue2), mvalue);
  // No loop starts by itself.
  PumpFor(0.5);
  EXPECT_EQ(line_->peer().orders().size(), 4u);
  EXPECT_EQ(stop_flag, 1);
  EXPECT_EQ(Dimmed(MAIN_BTNRun), 0);
}

TEST_F(Reconnection, OperatorsChoiceDuringTheWaitCancelsTheReconnection) {
  line_->unplug();
  ASSERT_TRUE(PumpUntil([] { return comWait == COM_WAIT_DEVICE; }, 5.0)) << Text(pHandle, MAIN_TBOXstatus);
  EXPECT_EQ(Text(pHandle, MAIN_TBOXstatus), kWaitingText);

  SensorLine second(dataDir_ + "/com2");
  const std::string secondItem = "COM2  " + dataDir_ + "/com2";
  ASSERT_TRUE(PumpUntil([&] { return RingHas(secondItem); }, 5.0));
  // What the panel showed is COM1's sensor's.
  SetCtrlVal(pHandle, MAIN_NUMledge, 321);
  arrayNORM[TREND_SIZE - 3] = 321.0;
  ChooseNextPort();
  ASSERT_TRUE(PumpUntil([&] { return com == 2 && second.peer().orders().size() >= 4 && !LineBusy(); }, 10.0));
  EXPECT_EQ(second.peer().orders(), kIdentification);
  EXPECT_EQ(comWait, COM_WAIT_NONE);
  // Another line's sensor: nothing of the first one's results stays on the panel.
  EXPECT_EQ(CtrlInt(MAIN_NUMledge), 0);
  EXPECT_EQ(arrayNORM[TREND_SIZE - 3], 0.0);
  EXPECT_EQ(Dimmed(MAIN_NUMledge), 0);

  // COM1's sensor comes back: it is listed again, and left alone.
  line_->plugIn();
  ASSERT_TRUE(PumpUntil([&] { return RingHas("COM1  " + dataDir_ + "/com1"); }, 5.0));
  PumpFor(1.0);
  EXPECT_TRUE(line_->peer().frames().empty());
  EXPECT_EQ(com, 2);
  EXPECT_EQ(ComPortUsable(2), 1);
}

TEST_F(Reconnection, RecordingCutByTheLossKeepsWholeLinesAndItsRedOutcome) {
  DisplayPanel(pPopup);
  SetCtrlVal(pPopup, RECORDER_NUMnumSample, 1000);
  SetCtrlVal(pPopup, RECORDER_NUMincTime, 1);
  auto samples = [] {
    int n = 0;
    GetCtrlVal(pPopup, RECORDER_NUMsampleCount, &n);
    return n;
  };
  When pull([&] { return samples() >= 2; }, [this] { line_->unplug(); });
  Click(pPopup, RECORDER_BTNStartRecord);
  ASSERT_TRUE(PumpUntil([&] { return pull.done && stop_flag == 3 && comWait == COM_WAIT_DEVICE; }, 15.0))
      << Text(pPopup, RECORDER_TBOXrecstatus);
  EXPECT_EQ(Text(pPopup, RECORDER_TBOXrecstatus), "DATA-RECORDER INTERRUPTED - TIMEOUT RS-232 LINE!");
  int background = 0;
  GetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR, &background);
  EXPECT_EQ(background, VAL_RED);

  auto contents = [] {
    std::ifstream in(szRunFile, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string written = contents();
  ASSERT_FALSE(written.empty()) << szRunFile;
  EXPECT_EQ(written.substr(written.size() - 2), "\r\n") << "the last line is whole";
  size_t lines = 0;
  for (size_t at = 0; (at = written.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_GE(lines, 6u + 2u) << "the header and the records taken before the loss";

  // The sensor comes back: identified, and the run is not taken up again.
  ASSERT_GE(PlugInAndWaitForIdentification(), 0.0) << Text(pHandle, MAIN_TBOXstatus);
  PumpFor(1.5);
  EXPECT_EQ(contents(), written);
  EXPECT_EQ(line_->peer().orders(), kIdentification);
  EXPECT_EQ(Text(pPopup, RECORDER_TBOXrecstatus), "DATA-RECORDER INTERRUPTED - TIMEOUT RS-232 LINE!");
}

TEST_F(Reconnection, ANumberWithoutDeviceIsOpenedWhenOneAppearsThereAndNoOtherEver) {
  line_->unplug();
  ASSERT_TRUE(PumpUntil([] { return comWait == COM_WAIT_DEVICE; }, 5.0));
  // As at a start-up without the sensor: COM1 resolves to no device.
  StopPortWatch();
  CloseCom(com);
  InitRS232(com);
  NoteComOutcome();
  EXPECT_EQ(Text(pHandle, MAIN_TBOXstatus), "No serial port found");
  EXPECT_EQ(comWait, COM_WAIT_NUMBER);
  StartPortWatch();

  // A device under another number is listed, not opened.
  SensorLine second(dataDir_ + "/com2");
  ASSERT_TRUE(PumpUntil([&] { return RingHas("COM2  " + dataDir_ + "/com2"); }, 5.0));
  PumpFor(0.5);
  EXPECT_TRUE(second.peer().frames().empty());
  EXPECT_EQ(com, 1);

  ASSERT_GE(PlugInAndWaitForIdentification(), 0.0) << Text(pHandle, MAIN_TBOXstatus);
  EXPECT_EQ(line_->peer().orders(), kIdentification);
  EXPECT_TRUE(second.peer().frames().empty());
}

TEST_F(Reconnection, TheRingFollowsDevicesAndNeverChangesThePortInUse) {
  const std::string secondItem = "COM2  " + dataDir_ + "/com2";
  EXPECT_FALSE(RingHas(secondItem));
  {
    SensorLine second(dataDir_ + "/com2");
    ASSERT_TRUE(PumpUntil([&] { return RingHas(secondItem); }, 5.0));
    EXPECT_EQ(com, 1);
  }
  ASSERT_TRUE(PumpUntil([&] { return !RingHas(secondItem); }, 5.0));
  EXPECT_EQ(com, 1);
  int shown = 0;
  GetCtrlVal(pHandle, MAIN_DropDCom, &shown);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ComPortUsable(1), 1);
  EXPECT_TRUE(line_->peer().frames().empty()) << "a list change sends nothing";
}

}  // namespace
