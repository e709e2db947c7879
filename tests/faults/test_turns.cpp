// Whatever the operator presses, and whenever: one exchange at a time on the line. One table
// over the state the program is in (idle, a loop, a recording run, an identification at
// start-up, after a port change, after a reconnection) and the command pressed (each one that
// needs the line) at the start, middle or end of a wait, against the sensor's model with every
// answer a little late. Judged by what the sensors heard: no request inside another's wait, no
// frame cut by a flush, an identification never interrupted, every command taken exactly once
// (unless its control was dimmed when pressed), settings that were sent are the sensor's, and
// the status line showed the command's own outcome.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdlib>
#include <tuple>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_panel.h"
#include "app/reconnect.h"
#include "recorder/recording.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "fault_probe.h"
#include "link/com232_owner.h"
#include "resources/panels.h"
#include "sensor/model.h"
#include "sensor_line.h"
#include "support/own_ports.h"
#include "support/ui_helpers.h"

namespace {

using Orders = std::vector<std::uint16_t>;
using Clock = std::chrono::steady_clock;

constexpr auto kAnswerDelay = std::chrono::milliseconds(24);
const Orders kIdentification = {5, 10, 2, 7};
constexpr u16 kSentPower = 777;  // a power no other step of a case sends

enum class State { Idle, Run, Video, Recording, StartUp, PortChange, Reopening };
enum class Moment { Start, Middle, End };

const char* StateName(State s) {
  switch (s) {
    case State::Idle: return "idle";
    case State::Run: return "RUN";
    case State::Video: return "VIDEO";
    case State::Recording: return "recording run";
    case State::StartUp: return "identification at start-up";
    case State::PortChange: return "identification after a port change";
    default: return "identification after a reconnection";
  }
}
const char* MomentName(Moment m) { return m == Moment::Start ? "start" : m == Moment::Middle ? "middle" : "end"; }
bool Identifies(State s) { return s == State::StartUp || s == State::PortChange || s == State::Reopening; }

std::string Status() { return Text(pHandle, MAIN_TBOXstatus); }
std::string RecStatus() { return Text(pPopup, RECORDER_TBOXrecstatus); }

int Attribute(int panel, int control, int attribute) {
  int v = -1;
  GetCtrlAttribute(panel, control, attribute, &v);
  return v;
}
bool Usable(int panel, int control) {
  return Attribute(panel, control, ATTR_DIMMED) == 0 && Attribute(panel, control, ATTR_VISIBLE) == 1;
}

void Click(int panel, int control) {
  QWidget* w = CtrlWidget(panel, control);
  if (w) QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
}

// The COM ring one item up or down, as the operator does with the arrow keys.
void ChooseOtherPort() {
  auto* box = qobject_cast<QComboBox*>(CtrlWidget(pHandle, MAIN_DropDCom));
  if (!box) return;
  box->setFocus();
  QTest::keyClick(box, com == 1 ? Qt::Key_Down : Qt::Key_Up);
}

size_t Count(const Orders& orders, std::uint16_t order) {
  return static_cast<size_t>(std::count(orders.begin(), orders.end(), order));
}

// Where the identification sequence starts in `orders`, or npos.
size_t FindIdentification(const Orders& orders) {
  auto at = std::search(orders.begin(), orders.end(), kIdentification.begin(), kIdentification.end());
  return at == orders.end() ? std::string::npos : static_cast<size_t>(at - orders.begin());
}

struct Command {
  const char* name;
  int panel() const { return onPopup ? pPopup : pHandle; }
  int control;
  bool onPopup;
  std::function<void()> press;
  std::uint16_t signature;  // the order only this command sends (0: none of its own)
  const char* outcome;      // the text its own success shows (main status, or the recorder's)
};

std::vector<Command> Commands() {
  auto send = [](int targetButton) {
    return [targetButton] {
      if (targetButton != MAIN_RBTRam) Click(pHandle, targetButton);
      SetCtrlVal(pHandle, MAIN_NUMpower, kSentPower);
      Click(pHandle, MAIN_BTNSend);
    };
  };
  return {
      {"RUN", MAIN_BTNRun, false, [] { Click(pHandle, MAIN_BTNRun); }, 8, "Line Ok!"},
      {"VIDEO", MAIN_BTNVideo, false, [] { Click(pHandle, MAIN_BTNVideo); }, 9, "Data[64] block received!"},
      {"STOP", MAIN_BTNStop, false, [] { Click(pHandle, MAIN_BTNStop); }, 0, nullptr},
      {"GET RAM", MAIN_BTNGet, false, [] { Click(pHandle, MAIN_BTNGet); }, 2, "Parameter-frame received! - Line Ok!"},
      {"GET EEPROM", MAIN_BTNGet, false, [] { Click(pHandle, MAIN_RBTEeprom); Click(pHandle, MAIN_BTNGet); }, 4,
       "Parameter-frame received! - Line Ok!"},
      {"SEND RAM", MAIN_BTNSend, false, send(MAIN_RBTRam), 1, "Line Ok!"},
      {"SEND EEPROM", MAIN_BTNSend, false, send(MAIN_RBTEeprom), 3, "Line Ok!"},
      {"TEACH", MAIN_ButtonTeach, false, [] { Click(pHandle, MAIN_ButtonTeach); }, 6, "Parameter-frame received! - Line Ok!"},
      {"RESET", MAIN_ButtonReset, false, [] { Click(pHandle, MAIN_ButtonReset); }, 11, "Reset of analog-output Max/Min OK!"},
      {"COM change", MAIN_DropDCom, false, ChooseOtherPort, 0, nullptr},
      {"recorder START", RECORDER_BTNStartRecord, true,
       [] {
         // A run of one record: it completes on the second request, a second after the first.
         SetCtrlVal(pPopup, RECORDER_NUMnumSample, 1);
         SetCtrlVal(pPopup, RECORDER_NUMincTime, 1);
         Click(pPopup, RECORDER_BTNStartRecord);
       },
       0,
       "DATA-RECORDER COMPLETED SUCCESSFULLY"},
  };
}

struct Case {
  State state;
  Moment moment;
};

// Every text each status box showed while events were processed.
class Texts {
 public:
  Texts() {
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start();
  }
  void Look() {
    for (auto [panel, control, list] : {std::tuple{pHandle, MAIN_TBOXstatus, &main},
                                        std::tuple{pPopup, RECORDER_TBOXrecstatus, &recorder}}) {
      const std::string t = Text(panel, control);
      if (list->empty() || list->back() != t) list->push_back(t);
    }
  }
  bool Shown(const std::vector<std::string>& list, const std::string& t) const {
    return std::find(list.begin(), list.end(), t) != list.end();
  }
  std::vector<std::string> main, recorder;

 private:
  QTimer timer_;
};

class Turns : public ::testing::TestWithParam<std::tuple<State, Moment>> {
 protected:
  void SetUp() override {
    dataDir_ = MakeTempDir();
    ASSERT_FALSE(dataDir_.empty());
    UseOnlyOwnPorts(dataDir_);
    setenv("RORIR_DATA_DIR", dataDir_.c_str(), 1);
    setenv("RORIR_COM1", (dataDir_ + "/com1").c_str(), 1);
    setenv("RORIR_COM2", (dataDir_ + "/com2").c_str(), 1);
  }
  void TearDown() override {
    for (const char* name : {"RORIR_DATA_DIR", "RORIR_COM1", "RORIR_COM2"}) unsetenv(name);
    rs232::SetDeviceFolders("/sys/class/tty", "/dev");
    RemoveTree(dataDir_);
  }

  void RunCase(const Command& c, int number);

  std::string dataDir_;
};

// The wait a case presses its command in: the order whose answer is owed, on the line that
// owes it, and how far into its wait.
struct Target {
  SensorLine* line;
  std::uint16_t order;
};

void Turns::RunCase(const Command& c, int number) {
  const auto [state, moment] = GetParam();
  const std::string what = std::string(c.name) + " at the " + MomentName(moment) + " of a wait during " + StateName(state);
  SCOPED_TRACE(what);

  auto line1 = std::make_unique<SensorLine>(dataDir_ + "/com1");
  auto line2 = std::make_unique<SensorLine>(dataDir_ + "/com2");
  line1->delayAllAnswers(kAnswerDelay);
  line2->delayAllAnswers(kAnswerDelay);
  std::string why;
  ASSERT_TRUE(OpenProgramOnCom1(&why)) << why;
  NoteComOutcome();
  ASSERT_EQ(line1->peer().orders(), kIdentification) << Status();
  const std::string identified = Status();  // both sensors are alike: the same firmware text
  line1->peer().clearFrames();
  DisplayPanel(pPopup);
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_VISIBLE, 1);
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_DIMMED, 0);
  // Each recording run of a case writes its own file.
  MakePathname(proj_dir, ("case" + std::to_string(number) + ".DAT").c_str(), rec_fname);
  const unsigned long cutsBefore = ComCutFrames();
  if (state == State::Reopening) StartPortWatch();

  // The state: what holds the line when the command is pressed.
  Target target{line1.get(), 8};
  QTimer::singleShot(0, [&] {
    switch (state) {
      case State::Idle: break;
      case State::Run: Click(pHandle, MAIN_BTNRun); break;
      case State::Video: Click(pHandle, MAIN_BTNVideo); break;
      case State::Recording:
        SetCtrlVal(pPopup, RECORDER_NUMnumSample, 1000);
        SetCtrlVal(pPopup, RECORDER_NUMincTime, 1);
        Click(pPopup, RECORDER_BTNStartRecord);
        break;
      case State::StartUp:
        RunOnLine([](int) { InitRS232(com); NoteComOutcome(); }, 0, LINE_END);
        break;
      case State::PortChange:
        ChooseOtherPort();
        break;
      case State::Reopening:
        line1->unplug();
        QTimer::singleShot(300, [&] { line1->plugIn(); line1->delayAllAnswers(kAnswerDelay); });
        break;
    }
  });
  if (state == State::PortChange) target.line = line2.get();
  if (Identifies(state)) target.order = moment == Moment::Start ? 5 : moment == Moment::Middle ? 2 : 7;
  const auto into = moment == Moment::Start ? std::chrono::milliseconds(1)
                    : moment == Moment::Middle ? kAnswerDelay / 2
                                                : kAnswerDelay - std::chrono::milliseconds(3);

  Texts texts;
  static bool delivered;  // the press's own events have reached the program
  delivered = false;
  auto press = [&] {
    c.press();
    PostDeferredCall([](void*) { delivered = true; }, nullptr);
  };
  bool pressed = false, usable = false;
  int pressedOnPort = 0;
  size_t heardBefore = 0;
  QTimer presser;
  presser.setInterval(1);
  presser.setTimerType(Qt::PreciseTimer);
  QObject::connect(&presser, &QTimer::timeout, [&] {
    if (pressed || state == State::Idle) {
      if (!pressed && state == State::Idle) {
        usable = Usable(c.panel(), c.control);
        pressedOnPort = com;
        press();
        pressed = true;
      }
      return;
    }
    const std::vector<PeerFrame> frames = target.line->peer().frames();
    const auto arrivals = target.line->peer().arrivals();
    if (frames.empty() || frames.back().order() != target.order) return;
    if (Clock::now() < arrivals.back() + into) return;
    usable = Usable(c.panel(), c.control);
    pressedOnPort = com;
    heardBefore = frames.size();
    press();
    pressed = true;
  });
  presser.start();

  // Pressed, taken and complete: nothing holds the line and nothing waits, or a loop started by
  // the state or the command runs again after the command.
  auto settled = [&] {
    if (!pressed || !delivered) return false;
    if (!usable) return true;  // a dimmed control took nothing: the state goes on as it was
    // A recording run of one record ends by itself.
    if (c.onPopup && usable) return !LineBusy() && WaitingCommandCount() == 0;
    if (LineBusy() || WaitingCommandCount() > 0) {
      if (stop_flag != 0) return false;
      // A loop runs: done once the command (if any) was heard and the loop asked again after it.
      const Orders heard = (com == 1 ? line1 : line2)->peer().orders();
      if (c.signature == 0 || !usable || c.signature == 8 || c.signature == 9) return heard.size() > heardBefore + 1;
      auto at = std::find(heard.begin(), heard.end(), c.signature);
      return at != heard.end() && std::count(at, heard.end(), 8) >= 2;
    }
    return true;
  };
  // Loops run nested inside the events the test processes: the steps after the press act from
  // a timer, which fires inside them. Once settled, whatever still runs is ended as the
  // operator would end it.
  bool done = false, gaveUp = false;
  const double begun = Timer();
  QTimer finisher;
  finisher.setInterval(2);
  QObject::connect(&finisher, &QTimer::timeout, [&] {
    if (done || gaveUp) return;
    if (settled()) {
      done = true;
    } else if (Timer() - begun > 15.0) {
      gaveUp = true;
    } else {
      return;
    }
    if (LineBusy()) {
      if (RecordingRunGoing()) Click(pPopup, RECORDER_BTNStopRecord);
      Click(pHandle, MAIN_BTNStop);
    }
  });
  finisher.start();
  ASSERT_TRUE(PumpUntil([&] { return (done || gaveUp) && !LineBusy() && WaitingCommandCount() == 0; }, 30.0))
      << "status " << Status();
  presser.stop();
  finisher.stop();
  ASSERT_FALSE(gaveUp) << "the command was not taken; status " << Status() << ", recorder " << RecStatus();
  texts.Look();
  if (state == State::Reopening) StopPortWatch();

  SensorLine* now = com == 1 ? line1.get() : line2.get();
  // A write is not answered: the program may be done before the sensor has read it.
  if (usable && (c.signature == 1 || c.signature == 3))
    PumpUntil([&] { return Count(now->peer().orders(), c.signature) > 0; }, 2.0);
  const Orders heard = now->peer().orders();

  // One exchange at a time on both lines, and no frame cut on its way out.
  EXPECT_EQ(line1->peer().overlaps(), 0u) << "a request inside another's wait on COM1";
  EXPECT_EQ(line2->peer().overlaps(), 0u) << "a request inside another's wait on COM2";
  EXPECT_EQ(ComCutFrames(), cutsBefore) << "output flushed while a frame was on the wire";

  // An identification runs as one unit: its four orders follow each other with nothing between.
  if (Identifies(state)) {
    const Orders identified = target.line->peer().orders();
    const size_t at = FindIdentification(identified);
    EXPECT_NE(at, std::string::npos) << "identification interrupted";
    for (std::uint16_t o : {8, 9, 1, 3, 4, 6, 11})
      EXPECT_EQ(std::count(identified.begin(), identified.begin() + (at == std::string::npos ? 0 : at), o), 0)
          << "order " << o << " before the identification";
  }

  const bool isComChange = std::string(c.name) == "COM change";
  const bool isStart = c.onPopup;
  if (!usable) {
    // A dimmed control takes no press at all.
    if (c.signature != 0 && c.signature != 8 && c.signature != 9) {
      EXPECT_EQ(Count(heard, c.signature), 0u);
    }
    if (isComChange) {
      EXPECT_EQ(com, pressedOnPort);
    }
    return CloseProgram();
  }
  if (isComChange) {
    // The other port was opened and identified once; the one left heard nothing after it.
    EXPECT_NE(com, pressedOnPort);
    const Orders others = now->peer().orders();
    const size_t at = FindIdentification(others);
    ASSERT_NE(at, std::string::npos) << "the new port's sensor was not identified";
    EXPECT_EQ(Count(others, 5), 1u);
    EXPECT_EQ(Status(), identified) << "the new port's outcome stands";
  } else if (c.signature == 8 || c.signature == 9) {
    EXPECT_GT(Count(heard, c.signature), 0u) << "the loop did not run";
  } else if (isStart) {
    EXPECT_TRUE(texts.Shown(texts.recorder, c.outcome)) << RecStatus();
  } else if (c.signature != 0) {
    // Exactly once, after any identification the state ran.
    const size_t start = Identifies(state) && target.line == now ? FindIdentification(heard) : std::string::npos;
    const Orders after(start == std::string::npos ? heard.begin() : heard.begin() + start + kIdentification.size(), heard.end());
    EXPECT_EQ(Count(after, c.signature), 1u) << "heard " << ::testing::PrintToString(heard) << ", shown " << ::testing::PrintToString(texts.main);
    if (c.signature == 6) {
      auto at = std::find(after.begin(), after.end(), 6);
      EXPECT_TRUE(at != after.end() && at + 1 != after.end() && at[1] == 2) << "teach is followed by its read-back";
    }
    EXPECT_TRUE(texts.Shown(texts.main, c.outcome)) << Status();
    if (c.signature == 1) {
      EXPECT_EQ(now->model()->ram()[0], kSentPower);
    }
    if (c.signature == 3) {
      EXPECT_EQ(now->model()->eeprom()[0], kSentPower);
    }
    // Idle before and after: the command's outcome is the last word.
    if (state == State::Idle || Identifies(state)) {
      EXPECT_EQ(Status(), c.outcome);
    }
  }
  for (const std::string& t : texts.main)
    EXPECT_EQ(t.find("Timeout"), std::string::npos) << "a healthy line timed out: " << t;
  CloseProgram();
}

TEST_P(Turns, EveryCommandTakesItsOwnTurn) {
  const char* only = std::getenv("RORIR_TURNS_ONLY");  // one command, by name, when hunting a fault
  int number = 0;
  for (const Command& c : Commands()) {
    if (only && *only && std::string(only) != c.name) continue;
    RunCase(c, ++number);
    if (HasFatalFailure()) return;
  }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<State, Moment>>& info) {
  std::string n = std::string(StateName(std::get<0>(info.param))) + "_" + MomentName(std::get<1>(info.param));
  for (char& ch : n)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
}

// Idle has no wait to press into: one moment.
INSTANTIATE_TEST_SUITE_P(Idle, Turns, ::testing::Values(std::tuple{State::Idle, Moment::Start}), CaseName);
INSTANTIATE_TEST_SUITE_P(InAWait, Turns,
                         ::testing::Combine(::testing::Values(State::Run, State::Video, State::Recording,
                                                              State::StartUp, State::PortChange,
                                                              State::Reopening),
                                            ::testing::Values(Moment::Start, Moment::Middle, Moment::End)),
                         CaseName);

}  // namespace
