// Commands that wait for their own answer (GET, TEACH, RESET) pressed while a loop runs, and
// start clicks queued while the program pauses: one loop at a time, every command takes the
// answer to its own request, and the loop goes on after it.
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>

#include "app/link_hooks.h"
#include "app/acquisition.h"
#include "app/main_panel.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "operator_fixture.h"
#include "resources/panels.h"
#include "support/ui_helpers.h"

namespace {

using Orders = std::vector<std::uint16_t>;
using Words = std::array<std::uint16_t, 16>;

// Parameter sets the sensor holds; no word is one a result frame of the model carries there.
// Analog mode 2 keeps the RESET button shown.
constexpr Words kRamSet = {777, 0, 333, 2, 1, 1, 20, 900, 444, 55, 0, 1, 2048, 30001, 3, 0};
constexpr Words kEepromSet = {611, 0, 222, 2, 1, 1, 30, 800, 555, 66, 0, 1, 1500, 30002, 2, 0};

// Stores a parameter set in the model's RAM (order 1) or EEPROM (order 3).
void Store(rorir::sensor::Model& model, std::uint16_t order, const Words& words) {
  std::vector<std::uint8_t> frame = {0x00, 0x55, 0x00, static_cast<std::uint8_t>(order)};
  for (std::uint16_t w : words) {
    frame.push_back(static_cast<std::uint8_t>(w >> 8));
    frame.push_back(static_cast<std::uint8_t>(w & 0xFF));
  }
  model.request(frame, rorir::sensor::Nanos{0});
}

// The settings as the panel holds them after a read-back: power, threshold, edge window,
// setpoint, tolerance, slope, averaging.
Words Settings() {
  return {power, tolMode, vThd, anaMode, polarity, eMode, eBeg, eEnd,
          tVal,  tTol,    opMode, eHardware, slope, intersect, average, powMode};
}

// Loops entered through the start buttons, and the deepest nesting seen.
int loopDepth = 0;
int deepestLoop = 0;
int CountingStart(int panel, int control, int event, void* data, int d1, int d2) {
  if (event == EVENT_COMMIT) deepestLoop = std::max(deepestLoop, ++loopDepth);
  if (control == MAIN_BTNRun) CC_BTNRun(panel, control, event, data, d1, d2);
  if (control == MAIN_BTNVideo) CC_BTNVideo(panel, control, event, data, d1, d2);
  if (event == EVENT_COMMIT) --loopDepth;
  return 0;
}

class LineCommandTest : public OperatorTest {
 protected:
  // Runs the loop of `button`, presses `command` after `ms`, Stop `stopAfter` ms later, and
  // pumps until the loop has ended and `done` holds.
  bool RunAndPress(int button, int ms, std::function<void()> command, std::function<bool()> done,
                   int stopAfter = 0) {
    bool pressed = false;
    After(ms, [&] {
      command();
      pressed = true;
    });
    if (stopAfter > 0) After(ms + stopAfter, [] { Click(MAIN_BTNStop); });
    // The loop runs nested inside one event pumping: a command that does not end it must not
    // hang the test.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { stop_flag = 1; });
    guard.start(8000);
    Click(button);
    return PumpUntil([&] { return pressed && stop_flag != 0 && Dimmed(MAIN_BTNRun) == 0 && done(); }, 10.0) &&
           guard.isActive();
  }
};

TEST_F(LineCommandTest, GetTeachAndResetDuringALoopTakeTheAnswerToTheirOwnRequest) {
  StartWithSensor();
  Store(*model_, 1, kRamSet);
  Store(*model_, 3, kEepromSet);
  // Measure answers a little late, as on the line: the command's own text stands for a while
  // before the loop's next pass replaces it, long enough for the probe below to see it.
  peer_.setResponder([model = model_](const PeerFrame& f) {
    std::vector<PeerReply> out;
    if (auto a = model->request(f.bytes, rorir::sensor::Nanos{0}))
      out.push_back({a->bytes, std::chrono::milliseconds(f.order() == 8 ? 15 : 0)});
    return out;
  });
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_DIMMED, 0);
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_VISIBLE, 1);

  struct Command {
    const char* name;
    std::function<void()> press;
    std::uint16_t order;
    const char* status;
  } commands[] = {
      {"GET from RAM", [] { Click(MAIN_BTNGet); }, 2, "Parameter-frame received! - Line Ok!"},
      {"GET from EEPROM", [] { Click(MAIN_RBTEeprom); Click(MAIN_BTNGet); }, 4,
       "Parameter-frame received! - Line Ok!"},
      {"TEACH", [] { Click(MAIN_ButtonTeach); }, 6, "Parameter-frame received! - Line Ok!"},
      {"RESET", [] { Click(MAIN_ButtonReset); }, 11, "Reset of analog-output Max/Min OK!"},
  };
  for (int loop : {MAIN_BTNRun, MAIN_BTNVideo}) {
    for (const Command& c : commands) {
      const std::string what = std::string(c.name) + (loop == MAIN_BTNRun ? " during RUN" : " during VIDEO");
      // The panel shows something else than either set, so the read-back is seen.
      Store(*model_, 1, kRamSet);
      tVal = 1;
      power = 1;
      peer_.clearFrames();
      // The settings as the command left them, before the loop's next result frames (which
      // carry the sensor's setpoint and tolerance) come in; and the sensor's RAM then.
      bool seen = false;
      Words settings{}, ram{};
      QTimer probe;
      probe.setInterval(1);
      QObject::connect(&probe, &QTimer::timeout, [&] {
        if (seen || Status() != c.status) return;
        seen = true;
        settings = Settings();
        for (int i = 0; i < 16; ++i) ram[i] = model_->ram()[i];
      });
      probe.start();
      ASSERT_TRUE(RunAndPress(loop, 300, c.press, [] { return true; }, 700)) << what << ": " << Status();
      EXPECT_TRUE(seen) << what << ": " << c.status << " never shown";

      // Each command heard once with the loop going on after it is the turn table's; here the
      // values it read back.
      const Orders orders = peer_.orders();
      const auto at = std::find(orders.begin(), orders.end(), c.order);
      ASSERT_NE(at, orders.end()) << what;
      EXPECT_GT(std::count(at, orders.end(), 8), 0) << what << ": the loop went on after";

      if (c.order == 4) {
        EXPECT_EQ(settings, kEepromSet) << what;
      } else if (c.order == 2) {
        EXPECT_EQ(settings, kRamSet) << what;
      } else if (c.order == 6) {
        // The taught setpoint is the value the sensor measured then; the rest is the RAM set.
        Words taught = kRamSet;
        taught[8] = ram[8];
        EXPECT_EQ(settings, taught) << what;
        EXPECT_NE(ram[8], kRamSet[8]) << what << ": nothing was taught";
      }
      for (int id : {MAIN_BTNRun, MAIN_BTNVideo, MAIN_ButtonTeach}) EXPECT_EQ(Dimmed(id), 0) << what;
      SetCtrlVal(pHandle, MAIN_RBTRam, 1);
      target = RAM;
    }
  }

  // Both loops work again afterwards.
  for (int loop : {MAIN_BTNRun, MAIN_BTNVideo}) {
    const unsigned long frames = resultFramesDrawn, passes = videoPassesDrawn;
    ASSERT_TRUE(RunAndPress(loop, 400, [] { Click(MAIN_BTNStop); }, [] { return true; }));
    EXPECT_GT(loop == MAIN_BTNRun ? resultFramesDrawn - frames : videoPassesDrawn - passes, 0u);
    EXPECT_NE(Status(), "Timeout RS232-Line!");
  }
}

TEST_F(LineCommandTest, StartClicksQueuedBeforeTheFirstIsDeliveredRunOneLoop) {
  // The start buttons count how deeply their loops nest.
  DiscardPanel(pPopup);
  DiscardPanel(pHandle);
  RegisterCtrlCallback("CC_BTNRun", CountingStart);
  RegisterCtrlCallback("CC_BTNVideo", CountingStart);
  std::string why;
  ASSERT_TRUE(LoadProgramPanels(&why)) << why;
  JoinLinkToPanel();
  InitVars();
  DisplayPanel(pHandle);
  StartWithSensor();

  for (int second : {MAIN_BTNRun, MAIN_BTNVideo}) {
    peer_.clearFrames();
    deepestLoop = 0;
    // Both clicks land before any event is delivered, as during a pause of the program.
    QTest::mouseClick(CtrlWidget(pHandle, MAIN_BTNRun), Qt::LeftButton);
    QTest::mouseClick(CtrlWidget(pHandle, second), Qt::LeftButton);
    After(400, [] { Click(MAIN_BTNStop); });
    ASSERT_TRUE(PumpUntil([] { return deepestLoop > 0 && loopDepth == 0; }, 10.0));
    PumpFor(0.05);
    EXPECT_EQ(deepestLoop, 1) << second;
    const Orders orders = peer_.orders();
    EXPECT_EQ(std::count(orders.begin(), orders.end(), 9), 0) << "no video pass inside the cycle";
  }
}

TEST_F(LineCommandTest, ALoopStartedFromTheKeyboardLeavesTheFocusOnStop) {
  StartWithSensor();
  for (int button : {MAIN_BTNRun, MAIN_BTNVideo}) {
    SetActiveCtrl(pHandle, button);
    int focused = -1;
    After(300, [&] {
      focused = GetActiveCtrl(pHandle);
      // Any key on the focused control now ends the loop.
      QTest::keyClick(CtrlWidget(pHandle, focused), Qt::Key_Down);
    });
    QTest::keyClick(CtrlWidget(pHandle, button), Qt::Key_Space);
    ASSERT_TRUE(PumpUntil([&] { return focused != -1 && stop_flag != 0 && Dimmed(MAIN_BTNRun) == 0; }, 10.0));
    EXPECT_EQ(focused, MAIN_BTNStop) << button;
  }
}

}  // namespace
