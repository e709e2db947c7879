// Closing the main panel in every state that waits for the sensor: the wait ends with the port,
// and the program's event loop returns at once instead of sitting out the time-outs.
#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/acquisition.h"
#include "state/globals.h"
#include "app/main_panel.h"
#include "app/settings.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "recorder/recording.h"
#include "resources/panels.h"
#include "sensor/model.h"
#include "support/scripted_peer.h"
#include "support/ui_helpers.h"
#include "program_environment.h"

namespace {

enum class State { Cycle, Video, ReadBack, Recording, PortChange };

const char* StateName(State s) {
  switch (s) {
    case State::Cycle: return "Cycle";
    case State::Video: return "Video";
    case State::ReadBack: return "ReadBack";
    case State::Recording: return "Recording";
    default: return "PortChange";
  }
}

bool Seen(const ScriptedPeer& peer, std::uint16_t order, int firstWord = -1) {
  for (const PeerFrame& f : peer.frames())
    if (f.order() == order && (firstWord < 0 || f.word(0) == firstWord)) return true;
  return false;
}

class ShutdownTest : public ::testing::TestWithParam<State> {
 protected:
  ProgramEnvironment env_;
  ScriptedPeer& peer_ = env_.peer;

  // The sensor's model answers; the block at index 64 and, once `silent` is set, everything
  // else is held back, so the program is caught waiting.
  void AnswerWithHeldBackBlock() {
    auto model = std::make_shared<rorir::sensor::Model>();
    auto silent = silent_;
    peer_.setResponder([model, silent](const PeerFrame& f) {
      std::vector<PeerReply> out;
      if (*silent || (f.order() == 9 && f.word(0) == 64)) return out;
      if (auto a = model->request(f.bytes, rorir::sensor::Nanos{0})) out.push_back({a->bytes, {}});
      return out;
    });
  }

  std::shared_ptr<bool> silent_ = std::make_shared<bool>(false);
};

TEST_P(ShutdownTest, ClosingEndsTheWaitWithThePortAndTheProgramReturns) {
  const State state = GetParam();
  AnswerWithHeldBackBlock();
  char arg0[] = "rorir";
  char* argv[] = {arg0, nullptr};
  ASSERT_EQ(StartUp(1, argv), 0);
  ASSERT_EQ(peer_.orders(), (std::vector<std::uint16_t>{5, 10, 2, 7}));
  peer_.clearFrames();

  // Put the program into the state: each action runs inside the event loop, as a click would.
  std::function<bool()> waiting;
  switch (state) {
    case State::Cycle:
      QTimer::singleShot(0, [] { CC_BTNRun(pHandle, MAIN_BTNRun, EVENT_COMMIT, nullptr, 0, 0); });
      waiting = [this] { return peer_.frames().size() >= 4; };
      break;
    case State::Video:
      QTimer::singleShot(0, [] { CC_BTNVideo(pHandle, MAIN_BTNVideo, EVENT_COMMIT, nullptr, 0, 0); });
      waiting = [this] { return Seen(peer_, 9, 64); };
      break;
    case State::ReadBack:
      *silent_ = true;
      QTimer::singleShot(0, [] { PushGET(RAM); });
      waiting = [this] { return Seen(peer_, 2); };
      break;
    case State::Recording:
      DisplayPanel(pPopup);
      QTimer::singleShot(0, [] { CC_BTNStartRecord(pPopup, RECORDER_BTNStartRecord, EVENT_COMMIT, nullptr, 0, 0); });
      waiting = [this] { return Seen(peer_, 8); };
      break;
    case State::PortChange:
      *silent_ = true;
      QTimer::singleShot(0, [] { CC_DropDCom(pHandle, MAIN_DropDCom, EVENT_COMMIT, nullptr, 0, 0); });
      waiting = [this] { return Seen(peer_, 5); };
      break;
  }
  double closedAt = -1.0;
  unsigned long passesAtClose = 0;
  QTimer watch;
  watch.setInterval(2);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!waiting()) return;
    watch.stop();
    // The close box: the panel's callback pauses, closes the port and ends the event loop.
    PanelWidget(pHandle)->close();
    closedAt = Timer();
    passesAtClose = InspectEventPasses();
  });
  watch.start();
  // A program that never got there must not hang the test.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QuitUserInterface(0); });
  guard.start(20000);

  EXPECT_EQ(RunAndShutDown(), 0);
  const double returnedAt = Timer();
  const unsigned long passes = InspectEventPasses() - passesAtClose;
  ASSERT_GE(closedAt, 0.0) << StateName(state) << ": the state was not reached";
  // Every wait on the closed port ends at its next look; one that sat out its 1.5 s time-out
  // would pass over the events hundreds of times, however often the machine pauses the test.
  EXPECT_LT(passes, 50u) << StateName(state) << ", " << returnedAt - closedAt << " s";
  EXPECT_LT(GetInQLen(com), 0) << "the port is closed";
  EXPECT_NE(stop_flag, 0);
}

INSTANTIATE_TEST_SUITE_P(InEachWaitingState, ShutdownTest,
                         ::testing::Values(State::Cycle, State::Video, State::ReadBack, State::Recording,
                                           State::PortChange),
                         [](const ::testing::TestParamInfo<State>& info) { return StateName(info.param); });

}  // namespace
