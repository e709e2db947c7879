// Run, video, stop, threshold, teach and reset, operated with the mouse and the keyboard on the
// real panel, against the virtual sensor's model and scripted peers.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <tuple>
#include <utility>

#include "app/acquisition.h"
#include "display/gui.h"
#include "display/panel.h"
#include "platform/ui/userint.h"
#include "platform/ui/userint_inspect.h"
#include "platform/ui/userint_qt.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_monitor.h"
#include "platform/serial/rs232.h"
#include "operator_fixture.h"
#include "resources/panels.h"
#include "support/ui_helpers.h"

namespace {

using Orders = std::vector<std::uint16_t>;

class AcquisitionTest : public OperatorTest {};

// The state of the panel while a loop runs, taken from inside it.
struct LoopView {
  int runDimmed = -1, videoDimmed = -1, chartVisible = -1, videoVisible = -1;
  int ram = -1, eeprom = -1, file = -1, target = -1;
  void take() {
    runDimmed = Dimmed(MAIN_BTNRun);
    videoDimmed = Dimmed(MAIN_BTNVideo);
    chartVisible = Visible(MAIN_CHARTraw);
    videoVisible = Visible(MAIN_GRAPHvideo);
    GetCtrlVal(pHandle, MAIN_RBTRam, &ram);
    GetCtrlVal(pHandle, MAIN_RBTEeprom, &eeprom);
    GetCtrlVal(pHandle, MAIN_RBTFile, &file);
    target = ::target;
  }
};

// Runs until the loop started by a click has run and ended (the start buttons usable again).
// Both loops begin with a measure request, which the link monitor counts: a count that stays
// risen tells that the loop ran however briefly, where a look at stop_flag from a timer could
// miss a loop stopped before the timer first fired (a busy machine).
bool WaitForLoopEnd(double seconds) {
  const unsigned long before = monCounters.requests[ORDER_MEASURE];
  return PumpUntil(
      [&] {
        return monCounters.requests[ORDER_MEASURE] != before && stop_flag != 0 &&
               Dimmed(MAIN_BTNRun) == 0 && Dimmed(MAIN_BTNVideo) == 0;
      },
      seconds);
}

// Answers as the model does, the video block that starts at `first` `ms` late.
void DelayBlock(ScriptedPeer& peer, std::shared_ptr<rorir::sensor::Model> model, int first, int ms) {
  peer.setResponder([model, first, ms](const PeerFrame& f) {
    std::vector<PeerReply> out;
    auto delay = std::chrono::milliseconds(f.order() == 9 && f.word(0) == first ? ms : 0);
    if (auto a = model->request(f.bytes, rorir::sensor::Nanos{0})) out.push_back({a->bytes, delay});
    return out;
  });
}

// Ends the loop once the peer has been asked for the video block that starts at `first`.
class StopAtBlock {
 public:
  StopAtBlock(ScriptedPeer& peer, int first) {
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this, &peer, first] {
      for (const PeerFrame& f : peer.frames()) {
        if (f.order() == 9 && f.word(0) == first) {
          stop_flag = 1;
          timer_.stop();
          return;
        }
      }
    });
    timer_.start();
  }

 private:
  QTimer timer_;
};

TEST_F(AcquisitionTest, RunAndVideoSwitchGraphsDimTheStartButtonsAndStopWithTheMouse) {
  StartWithSensor();
  struct Case {
    int button;
    bool video;
  } cases[] = {{MAIN_BTNRun, false}, {MAIN_BTNVideo, true}};
  for (const Case& c : cases) {
    SetCtrlVal(pHandle, MAIN_RBTEeprom, 1);
    SetCtrlVal(pHandle, MAIN_RBTRam, 0);
    target = EEPROM;
    LoopView during;
    After(600, [&] {
      during.take();
      Click(MAIN_BTNStop);
    });
    Click(c.button);
    ASSERT_TRUE(WaitForLoopEnd(5.0)) << c.video;
    EXPECT_EQ(during.runDimmed, 1) << c.video;
    EXPECT_EQ(during.videoDimmed, 1) << c.video;
    EXPECT_EQ(during.chartVisible, c.video ? 0 : 1) << c.video;
    EXPECT_EQ(during.videoVisible, c.video ? 1 : 0) << c.video;
    EXPECT_EQ(during.ram, 1);
    EXPECT_EQ(during.eeprom, 0);
    EXPECT_EQ(during.file, 0);
    EXPECT_EQ(during.target, RAM);
    // The graph shown last stays shown; the loop sent measure requests all along.
    EXPECT_EQ(Visible(MAIN_GRAPHvideo), c.video ? 1 : 0);
    const Orders orders = peer_.orders();
    EXPECT_GT(std::count(orders.begin(), orders.end(), 8), 1) << c.video;
    EXPECT_EQ(std::count(orders.begin(), orders.end(), 9) > 0, c.video);
    EXPECT_NE(Status(), "Timeout RS232-Line!");
    peer_.clearFrames();
  }
}

TEST_F(AcquisitionTest, VideoPassFillsAllWordsFromFourBlocksAndDrawsCurveAndThreshold) {
  StartWithSensor("t101");  // a 256-pixel line: the axis ends at 256, not at the default 1024
  ASSERT_EQ(ccdpixE, 256);
  std::fill(std::begin(adcbuf), std::end(adcbuf), 0);
  DelayBlock(peer_, model_, 192, 100);  // so the stop lands within the first pass
  StopAtBlock stop(peer_, 192);
  Click(MAIN_BTNVideo);
  ASSERT_TRUE(WaitForLoopEnd(5.0));

  const auto frames = peer_.frames();
  ASSERT_EQ(frames.size(), 5u) << "one measure request and four block requests";
  EXPECT_EQ(frames[0].order(), 8);
  for (int b = 0; b < 4; ++b) {
    EXPECT_EQ(frames[1 + b].order(), 9);
    EXPECT_EQ(frames[1 + b].word(0), 64 * b);
    EXPECT_EQ(frames[1 + b].word(1), b == 3 ? 1 : 0);
  }
  const auto& video = model_->video();
  for (int i = 0; i < VIDEO_POINTS; ++i) ASSERT_EQ(adcbuf[i], video[i]) << i;
  EXPECT_TRUE(std::any_of(std::begin(adcbuf), std::end(adcbuf), [](u16 v) { return v != 0; }));
  // The result frame was taken in before the blocks.
  EXPECT_EQ(Ledge, model_->results().Ledge);

  const auto plots = InspectGraphPlots(pHandle, MAIN_GRAPHvideo);
  ASSERT_EQ(plots.size(), 2u);
  ASSERT_EQ(plots[0].ys.size(), 256u);
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    EXPECT_EQ(plots[0].ys[i], adcbuf[i]) << i;
    EXPECT_EQ(plots[0].xs[i], xArray8[i]) << i;
    EXPECT_EQ(plots[1].ys[i], vThd) << i;
  }
  EXPECT_EQ(plots[0].colour, VAL_RED);
  EXPECT_EQ(plots[1].colour, VAL_DK_GREEN);
  double mn = 0, mx = 0;
  GetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, nullptr, &mn, &mx);
  EXPECT_EQ(mn, 1.0);
  EXPECT_EQ(mx, 256.0);
}

TEST_F(AcquisitionTest, StopWhileTheSecondBlockIsAwaitedStillReadsBlocksThreeAndFour) {
  StartWithSensor();
  // The second block is answered late, so Stop lands while it is awaited.
  DelayBlock(peer_, model_, 64, 500);
  bool pressed = false;
  int flagAfterPress = -1;
  QTimer poll;
  poll.setInterval(1);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    const auto frames = peer_.frames();
    if (!pressed && !frames.empty() && frames.back().order() == 9 && frames.back().word(0) == 64) {
      pressed = true;
      poll.stop();
      // The press ends the loop; the release only arrives with the next event pumping.
      QTest::mousePress(CtrlWidget(pHandle, MAIN_BTNStop), Qt::LeftButton);
      After(0, [&] {
        flagAfterPress = stop_flag;
        QTest::mouseRelease(CtrlWidget(pHandle, MAIN_BTNStop), Qt::LeftButton);
      });
    }
  });
  poll.start();
  std::fill(std::begin(adcbuf), std::end(adcbuf), 0);
  Click(MAIN_BTNVideo);
  ASSERT_TRUE(WaitForLoopEnd(6.0));
  ASSERT_TRUE(pressed);
  EXPECT_EQ(flagAfterPress, 1);
  EXPECT_EQ(peer_.orders(), (Orders{8, 9, 9, 9, 9}));
  const auto& video = model_->video();
  for (int i = 0; i < VIDEO_POINTS; ++i) ASSERT_EQ(adcbuf[i], video[i]) << i;
  EXPECT_EQ(InspectGraphPlots(pHandle, MAIN_GRAPHvideo).at(0).ys[255], adcbuf[255]);
}

TEST_F(AcquisitionTest, AKeyOnTheFocusedStopButtonEndsEitherLoop) {
  StartWithSensor();
  for (int button : {MAIN_BTNRun, MAIN_BTNVideo}) {
    ClearSeenEvents();
    bool ranOnModifiers = false;
    After(500, [&] {
      SetActiveCtrl(pHandle, MAIN_BTNStop);
      // A modifier alone (the start of Alt+Tab, a held Shift) is not a key press.
      for (Qt::Key k : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_Super_L})
        QTest::keyClick(CtrlWidget(pHandle, MAIN_BTNStop), k);
    });
    After(900, [&] {
      ranOnModifiers = stop_flag == 0 && Dimmed(MAIN_BTNRun) == 1;
      QTest::keyClick(CtrlWidget(pHandle, MAIN_BTNStop), Qt::Key_X);
    });
    Click(button);
    ASSERT_TRUE(WaitForLoopEnd(5.0)) << button;
    EXPECT_TRUE(ranOnModifiers) << button << ": a modifier alone stopped the loop";
    EXPECT_NE(Status(), "Timeout RS232-Line!");
    // The loop's own clean-up enabled the buttons: the key gave no commit.
    EXPECT_EQ(Dimmed(MAIN_ButtonTeach), 0);
  }
}

TEST_F(AcquisitionTest, SilentSensorEndsTheVideoLoopWithTheReceiveCallbackBackInPlace) {
  StartWithSensor();
  auto model = model_;
  auto passes = std::make_shared<std::atomic<int>>(0);
  peer_.setResponder([model, passes](const PeerFrame& f) {
    std::vector<PeerReply> out;
    if (f.order() == 8 && ++*passes > 2) return out;  // silent after two passes
    if (auto a = model->request(f.bytes, rorir::sensor::Nanos{0})) out.push_back({a->bytes, {}});
    return out;
  });
  Click(MAIN_BTNVideo);
  ASSERT_TRUE(WaitForLoopEnd(8.0));
  EXPECT_EQ(Status(), "Timeout RS232-Line!");
  EXPECT_EQ(peer_.orders(), (Orders{8, 9, 9, 9, 9, 8, 9, 9, 9, 9, 8}));
  for (int id : {MAIN_BTNRun, MAIN_BTNVideo, MAIN_ButtonTeach}) EXPECT_EQ(Dimmed(id), 0) << id;
  // A frame that arrives now is taken in by the receive callback.
  rx_flag = 0;
  peer_.send(SensorFrame(8, {1, 2, 3}));
  EXPECT_TRUE(PumpUntil([] { return rx_flag == 1; }, 1.0));
  EXPECT_EQ(pp[0], 1);
}

TEST_F(AcquisitionTest, ThresholdChangeRedrawsTheSameCurveWithANewFlatLine) {
  StartWithSensor();
  DelayBlock(peer_, model_, 192, 100);
  StopAtBlock stop(peer_, 192);  // one pass
  Click(MAIN_BTNVideo);
  ASSERT_TRUE(WaitForLoopEnd(5.0));
  SetCtrlVal(pHandle, MAIN_NUMVideoThreshold, 300);
  vThd = 300;
  const auto before = InspectGraphPlots(pHandle, MAIN_GRAPHvideo);
  ASSERT_EQ(before.size(), 2u);

  Type(MAIN_NUMVideoThreshold, "500");
  PumpFor(0.05);
  const auto after = InspectGraphPlots(pHandle, MAIN_GRAPHvideo);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].ys, before[0].ys);
  EXPECT_EQ(after[0].xs, before[0].xs);
  EXPECT_EQ(after[1].ys, std::vector<double>(256, 500.0));
  EXPECT_TRUE(std::all_of(std::begin(thdArray), std::end(thdArray), [](u16 t) { return t == 500; }));
  EXPECT_EQ(vThd, 300) << "the setting follows at the next panel read";
}

TEST_F(AcquisitionTest, TeachWithoutASensorSaysSoAndReadsNothingBack) {
  OpenLink();  // the peer stays silent
  Click(MAIN_ButtonTeach);
  // Not a success: the sensor never confirmed the new setpoint.
  EXPECT_TRUE(PumpUntil([] { return Status() == "Timeout RS232-Line!"; }, 5.0)) << Status();
  EXPECT_EQ(peer_.orders(), (Orders{6}));
}

TEST_F(AcquisitionTest, TeachReadsBackTheTaughtSetpoint) {
  StartWithSensor();
  tVal = 1;
  SetCtrlVal(pHandle, MAIN_NUMtVal, 1);
  const u16 sent0 = pp[0];
  Click(MAIN_ButtonTeach);
  ASSERT_TRUE(PumpUntil([&] { return peer_.orders().size() >= 2 && Status() != "Waiting for parameter-frame ..." &&
                                     Status() != "New setpoint value teached!"; },
                        3.0));
  EXPECT_EQ(peer_.orders(), (Orders{6, 2}));
  EXPECT_EQ(peer_.frames()[0].word(0), sent0) << "teach goes out with pp as it stood";
  EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
  EXPECT_EQ(model_->ram()[8], model_->results().Mvalue);
  EXPECT_EQ(tVal, model_->ram()[8]);
  u16 shown = 0;
  GetCtrlVal(pHandle, MAIN_NUMtVal, &shown);
  EXPECT_EQ(shown, tVal);
}

TEST_F(AcquisitionTest, ResetAnsweredLateIsOkAndUnansweredTimesOut) {
  OpenLink();
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_VISIBLE, 1);
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_DIMMED, 0);
  struct Case {
    const char* what;
    bool answered;
    const char* status;
  } cases[] = {{"answered after 0.4 s", true, "Reset of analog-output Max/Min OK!"},
               {"unanswered", false, "Timeout-RS-232..."}};
  for (const Case& c : cases) {
    peer_.clearFrames();
    peer_.setResponder([&c](const PeerFrame& f) {
      std::vector<PeerReply> out;
      if (c.answered && f.order() == 11) out.push_back({SensorFrame(11, {}), std::chrono::milliseconds(400)});
      return out;
    });
    StatusRecorder rec;
    Click(MAIN_ButtonReset);
    ASSERT_TRUE(PumpUntil([&] { return Status() == c.status; }, 3.0)) << c.what << ": " << Status();
    EXPECT_EQ(peer_.orders(), (Orders{11})) << c.what;
    PumpFor(0.02);
    std::string seen;
    for (const auto& t : rec.texts()) seen += "[" + t + "]";
    ASSERT_GE(rec.texts().size(), 2u) << c.what << seen;
    EXPECT_EQ(rec.texts()[rec.texts().size() - 2], "Reset Max/Min values...") << c.what << seen;
  }
}

// RESET MAX/MIN against the virtual sensor: after a run that spread the analog maximum and
// minimum apart, both start over from the analog value (the M-value here) of the line the reset
// took, so the first result after it shows the boxes holding that value and its own, and
// nothing of the spread before.
TEST_F(AcquisitionTest, ResetMaxMinStartsBothAnalogBoxesOverFromTheCurrentValue) {
  StartWithSensor();
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_VISIBLE, 1);
  SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_DIMMED, 0);
  auto boxes = [] {
    u16 max = 0, min = 0;
    GetCtrlVal(pHandle, MAIN_NUManaMax, &max);
    GetCtrlVal(pHandle, MAIN_NUManaMin, &min);
    return std::pair<int, int>(max, min);
  };
  const long before = static_cast<long>(resultFramesDrawn);
  QTimer watch;
  watch.setInterval(1);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (static_cast<long>(resultFramesDrawn) - before >= 40) stop_flag = 1;
  });
  watch.start();
  Click(MAIN_BTNRun);
  ASSERT_TRUE(PumpUntil([&] { return static_cast<long>(resultFramesDrawn) - before >= 40 && Dimmed(MAIN_BTNRun) == 0; }, 10.0));
  watch.stop();
  const auto [spreadMax, spreadMin] = boxes();
  ASSERT_GT(spreadMax, spreadMin) << "forty results spread the maximum and minimum apart";

  Click(MAIN_ButtonReset);
  ASSERT_TRUE(PumpUntil([] { return Status() == "Reset of analog-output Max/Min OK!"; }, 3.0)) << Status();
  const int atReset = model_->results().Mvalue;
  EXPECT_EQ(model_->results().anaMax, atReset);
  EXPECT_EQ(model_->results().anaMin, atReset);

  // One result after the reset, then silence: the cycle ends by its time-out with that result
  // on the panel.
  auto model = model_;
  auto measures = std::make_shared<int>(0);
  peer_.setResponder([model, measures](const PeerFrame& f) {
    std::vector<PeerReply> out;
    if (f.order() == 8 && (*measures)++ > 0) return out;
    if (auto a = model->request(f.bytes, rorir::sensor::Nanos{0})) out.push_back({a->bytes, {}});
    return out;
  });
  const long drawn = static_cast<long>(resultFramesDrawn);
  Click(MAIN_BTNRun);
  ASSERT_TRUE(PumpUntil([&] { return Status() == "Timeout RS232-Line!" && Dimmed(MAIN_BTNRun) == 0; }, 6.0)) << Status();
  ASSERT_EQ(static_cast<long>(resultFramesDrawn), drawn + 1);
  const auto [max, min] = boxes();
  EXPECT_EQ(max, std::max<int>(atReset, Mvalue));
  EXPECT_EQ(min, std::min<int>(atReset, Mvalue));
}

int Background(int control) {
  int colour = 0;
  GetCtrlAttribute(pHandle, control, ATTR_TEXT_BGCOLOR, &colour);
  return colour;
}

TEST_F(AcquisitionTest, SuggestedThresholdIsTypedInMarkedUnsentAndLeavesWithSend) {
  model_ = AnswerWithModel(peer_);
  OpenLink();
  if (target != RAM) Click(MAIN_RBTRam);
  // A line as a video pass leaves it: a dark object (100) on words 100..155 of a bright 800.
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    adcbuf[i] = i >= 100 && i < 156 ? 100 : 800;
    xArray8[i] = 4.0 * i;
  }
  YAXISMAX = 1024;
  vThd = 300;
  SetPanelValues();
  InstallSignalCheckMenu();
  QMenu* menu = GraphContextMenu(pHandle, MAIN_GRAPHvideo);
  QAction* apply = menu->findChild<QAction*>("menuItem1");
  ASSERT_NE(apply, nullptr);
  EXPECT_FALSE(apply->isEnabled()) << "no line checked yet";
  videoLineTaken = 1;
  PlotVIDEOCurve(adcbuf, xArray8);
  PumpFor(0.05);
  peer_.clearFrames();

  // Right-click on the graph, then the entry.
  QWidget* graph = CtrlWidget(pHandle, MAIN_GRAPHvideo);
  const QPoint middle(graph->width() / 2, graph->height() / 2);
  QContextMenuEvent right(QContextMenuEvent::Mouse, middle, graph->mapToGlobal(middle));
  QApplication::sendEvent(graph, &right);
  ASSERT_TRUE(menu->isVisible());
  EXPECT_EQ(apply->text().toStdString(), "Apply suggested threshold (450)");
  ASSERT_TRUE(apply->isEnabled());
  apply->trigger();
  menu->hide();
  u16 shown = 0;
  GetCtrlVal(pHandle, MAIN_NUMVideoThreshold, &shown);
  EXPECT_EQ(shown, 450);
  EXPECT_TRUE(std::all_of(std::begin(thdArray), std::end(thdArray), [](u16 t) { return t == 450; }));
  EXPECT_EQ(Background(MAIN_NUMVideoThreshold), 0xFFF0A0);
  EXPECT_EQ(vThd, 300) << "the setting follows at the next panel read";
  PumpFor(0.1);
  EXPECT_TRUE(peer_.frames().empty()) << "nothing reaches the sensor before SEND";

  Click(MAIN_BTNSend);
  ASSERT_TRUE(PumpUntil([&] { return !peer_.frames().empty(); }, 1.0));
  EXPECT_EQ(peer_.frames().at(0).order(), 1);
  EXPECT_EQ(peer_.frames().at(0).word(2), 450);
  EXPECT_EQ(Background(MAIN_NUMVideoThreshold), -1);

  // The suggestion again, now that the sensor holds it: nothing is unsent.
  ApplySuggestedThreshold();
  EXPECT_EQ(Background(MAIN_NUMVideoThreshold), -1);
  videoLineTaken = 0;
}

}  // namespace
