// The program's two panels with the callback table bound, COM1 open on a scripted peer, the data
// folder a fresh temporary one, and helpers that work the popup as the operator does.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "app/link_hooks.h"
#include "state/globals.h"
#include "app/main_panel.h"
#include "display/panel.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "display/gui.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"
#include "support/scripted_peer.h"
#include "support/ui_helpers.h"

inline std::string CtrlText(int panel, int control) {
  char buf[PATH_SIZE];
  buf[0] = '\0';
  GetCtrlVal(panel, control, buf);
  return buf;
}

inline int CtrlInt(int panel, int control) {
  int v = -1;
  GetCtrlVal(panel, control, &v);
  return v;
}

inline int Attr(int panel, int control, int attribute) {
  int v = -1;
  GetCtrlAttribute(panel, control, attribute, &v);
  return v;
}

inline std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The complete lines of a file (each ended by CR LF, the end removed) and what follows the
/// last line end.
inline std::vector<std::string> CompleteLines(const std::string& bytes, std::string* rest = nullptr) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  if (rest) *rest = bytes.substr(start);
  return lines;
}

/// True when a line is a record: seven unsigned 16-bit decimals separated by single tabs.
inline bool IsRecordLine(const std::string& line) {
  static const std::regex record(R"((0|[1-9][0-9]{0,4})(\t(0|[1-9][0-9]{0,4})){6})");
  if (!std::regex_match(line, record)) return false;
  size_t start = 0;
  for (int i = 0; i < 7; ++i) {
    size_t end = line.find('\t', start);
    if (std::stol(line.substr(start, end - start)) > 65535) return false;
    start = end + 1;
  }
  return true;
}

/// Runs `action` once `seconds` have passed, from inside whatever loop pumps the events.
inline void At(double seconds, std::function<void()> action) {
  QTimer::singleShot(static_cast<int>(seconds * 1000), qApp, std::move(action));
}

class RecorderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    dataDir_ = MakeTempDir();
    ASSERT_FALSE(dataDir_.empty());
    setenv("RORIR_DATA_DIR", dataDir_.c_str(), 1);
    setenv("RORIR_COM1", peer_.slavePath().c_str(), 1);
    RegisterCallbacks();
    std::string why;
    ASSERT_TRUE(LoadProgramPanels(&why)) << why;
    JoinLinkToPanel();
    GetProjectDir(proj_dir);
    InitVars();
    // The board of the sensor the runs speak to has the analog output (RESET MAX/MIN usable).
    pcbtype = BOARD_WITH_ANALOG_OUTPUT;
    com = 1;
    ASSERT_EQ(OpenComConfig(com, "", 19200, 0, 8, 1, 4096, 4096), 0);
    SetComTime(com, TIMEOUT);
    InstallReceiveCallback();
    DisplayPanel(pHandle);
    ResetPopupLog();
    PumpFor(0.02);
  }
  void TearDown() override {
    CloseCom(com);
    DiscardPanel(pPopup);
    DiscardPanel(pHandle);
    unsetenv("RORIR_COM1");
    unsetenv("RORIR_DATA_DIR");
    RemoveTree(dataDir_);
  }

  /// A click of the mouse on a control, and the callbacks it raises run.
  void Click(int panel, int control) {
    QTest::mouseClick(CtrlWidget(panel, control), Qt::LeftButton);
    PumpFor(0.02);
  }
  /// Opens the popup with the main panel's toggle.
  void OpenPopup() {
    Click(pHandle, MAIN_TOGGBTN_Recorder);
    ASSERT_EQ(IsPanelVisible(pPopup), 1);
  }
  /// Enters a value into a numeric of the popup, as typing it and leaving the field would.
  void Enter(int control, int value) {
    auto* box = qobject_cast<QSpinBox*>(CtrlWidget(pPopup, control));
    ASSERT_NE(box, nullptr);
    box->setValue(value);
    PumpFor(0.02);
  }
  /// Types a batch name into its box and presses Enter.
  void EnterBatchName(const std::string& name) {
    auto* edit = qobject_cast<QLineEdit*>(CtrlWidget(pPopup, RECORDER_TBOXrecfilename));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->setText(QString::fromStdString(name));
    QTest::keyClick(edit, Qt::Key_Return);
    PumpFor(0.02);
  }
  /// Clicks Start; the run goes on inside the event processing and this returns when it ends.
  /// Returns the seconds it took.
  double RunRecording() {
    const double t = Timer();
    QTest::mouseClick(CtrlWidget(pPopup, RECORDER_BTNStartRecord), Qt::LeftButton);
    PumpFor(0.05);
    return Timer() - t;
  }
  std::string RecStatus() { return CtrlText(pPopup, RECORDER_TBOXrecstatus); }
  std::string RecFile() { return FileBytes(rec_fname); }

  /// Answers every measure request with a result frame made by `words` (given the request's
  /// number, 1 for the first) after `delay` (given the same number).
  void AnswerResults(std::function<std::vector<std::uint16_t>(int)> words,
                     std::function<int(int)> delayMs) {
    auto count = std::make_shared<int>(0);
    peer_.setResponder([count, words, delayMs](const PeerFrame& f) {
      std::vector<PeerReply> out;
      if (f.order() != 8) return out;
      const int n = ++*count;
      out.push_back({SensorFrame(8, words(n)), std::chrono::milliseconds(delayMs(n))});
      return out;
    });
  }

  ScriptedPeer peer_;
  std::string dataDir_;
};
