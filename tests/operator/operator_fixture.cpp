#include "app/link_hooks.h"
#include "operator_fixture.h"

#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>

#include "app/main_panel.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "platform/serial/rs232_names.h"
#include "resources/panels.h"

extern "C" char** environ;
#include "support/own_ports.h"
#include "support/ui_helpers.h"

std::string Status() {
  char buf[TEXT_SIZE];
  GetCtrlVal(pHandle, MAIN_TBOXstatus, buf);
  return buf;
}

int Dimmed(int control) {
  int v = -1;
  GetCtrlAttribute(pHandle, control, ATTR_DIMMED, &v);
  return v;
}

int Visible(int control) {
  int v = -1;
  GetCtrlAttribute(pHandle, control, ATTR_VISIBLE, &v);
  return v;
}

void Click(int control) {
  QWidget* w = CtrlWidget(pHandle, control);
  ASSERT_NE(w, nullptr) << control;
  QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
}

void Key(int control, int key) {
  QWidget* w = CtrlWidget(pHandle, control);
  ASSERT_NE(w, nullptr) << control;
  w->setFocus();
  QTest::keyClick(w, static_cast<Qt::Key>(key));
}

void Type(int control, const std::string& text) {
  QWidget* w = CtrlWidget(pHandle, control);
  ASSERT_NE(w, nullptr) << control;
  w->setFocus();
  QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(w, QString::fromStdString(text));
  QTest::keyClick(w, Qt::Key_Return);
}

void ChooseRingValue(int control, int value) {
  auto* box = qobject_cast<QComboBox*>(CtrlWidget(pHandle, control));
  ASSERT_NE(box, nullptr);
  const int to = box->findData(value);
  ASSERT_GE(to, 0) << "no item with value " << value;
  const int steps = to - box->currentIndex();
  ASSERT_EQ(std::abs(steps), 1) << "the item is not next to the current one";
  box->setFocus();
  QTest::keyClick(box, steps > 0 ? Qt::Key_Down : Qt::Key_Up);
}

void After(int ms, std::function<void()> f) { QTimer::singleShot(ms, std::move(f)); }

StatusRecorder::StatusRecorder() : timer_(std::make_unique<QTimer>()) {
  timer_->setInterval(1);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] {
    if (!pHandle) return;
    std::string now = Status();
    if (texts_.empty() || texts_.back() != now) texts_.push_back(now);
  });
  timer_->start();
}

StatusRecorder::~StatusRecorder() = default;

std::shared_ptr<rorir::sensor::Model> AnswerWithModel(ScriptedPeer& peer, const char* profile) {
  rorir::sensor::ModelOptions options;
  if (profile) options.profile = rorir::sensor::findProfile(profile);
  auto model = std::make_shared<rorir::sensor::Model>(options);
  peer.setResponder([model](const PeerFrame& f) {
    std::vector<PeerReply> out;
    if (auto a = model->request(f.bytes, rorir::sensor::Nanos{0})) out.push_back({a->bytes, {}});
    return out;
  });
  return model;
}

void OperatorTest::SetUp() {
  ASSERT_TRUE(peer_.ok());
  dataDir_ = MakeTempDir();
  UseOnlyOwnPorts(dataDir_);
  setenv("RORIR_DATA_DIR", dataDir_.c_str(), 1);
  setenv("RORIR_COM1", peer_.slavePath().c_str(), 1);
  RegisterCallbacks();
  std::string why;
  ASSERT_TRUE(LoadProgramPanels(&why)) << why;
  JoinLinkToPanel();
  GetProjectDir(proj_dir);
  InitVars();
  DisplayPanel(pHandle);
  ResetPopupLog();
  ClearSeenEvents();
}

void OperatorTest::TearDown() {
  stop_flag = 1;
  CloseCom(com);
  // Events still queued for the panels are dropped with them.
  PumpFor(0.02);
  DiscardPanel(pPopup);
  DiscardPanel(pHandle);
  pHandle = pPopup = 0;
  for (const char* name : {"RORIR_DATA_DIR", "RORIR_COM1", "RORIR_COM2", "RORIR_COM3", "RORIR_COM4"})
    unsetenv(name);
  rs232::SetDeviceFolders("/sys/class/tty", "/dev");
  RemoveTree(dataDir_);
}

void OperatorTest::OpenLink() {
  com = 1;
  ASSERT_EQ(OpenComConfig(com, "", 19200, 0, 8, 1, 4096, 4096), 0);
  SetComTime(com, TIMEOUT);
  InstallReceiveCallback();
}

void OperatorTest::StartWithSensor(const char* profile) {
  model_ = AnswerWithModel(peer_, profile);
  com = 1;
  InitRS232(com);
  ASSERT_EQ(peer_.orders(), (std::vector<std::uint16_t>{5, 10, 2, 7})) << Status();
  peer_.clearFrames();
}
