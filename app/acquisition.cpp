// The acquisition controls. The loops run inside their button callbacks and keep processing
// events, so Stop, the receive callback and the other controls run nested inside them; what
// needs the line takes its turn through the line's owner.
#include "app/acquisition.h"

#include "state/globals.h"
#include "state/sync_word.h"
#include "display/gui.h"
#include "display/link_view.h"
#include "display/panel.h"
#include "display/sensor_set.h"
#include "link/com232_paraset.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"

namespace {

constexpr double STOP_PAUSE = 0.2;  // lets the loop that is running see stop_flag first

// One request with pp as it stands; both queues are emptied first so the answer that raises
// rx_flag belongs to this request.
void SendOrder(u16 code) {
  ClearQueues(com);
  rx_flag = 0;
  FillTxBuf(code, pp);
  nBytesW = SendTxBuf(com, FRAME_SIZE);
}

void EnterVideoMode() {
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_VISIBLE, 0);
  SetCtrlAttribute(pHandle, MAIN_GRAPHvideo, ATTR_VISIBLE, 1);
  DimStartButtons();
  SelectRamTarget();
  SetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1.0, ccdpixE);
}

// The four blocks of one video line. The frame callback is off meanwhile, so it cannot take
// the bytes of a block for a frame. False when the port was closed on the way.
bool ReadVideoLine() {
  RemoveReceiveCallback();
  ClearQueues(com);
  for (int first = 0; first < VIDEO_POINTS; first += DATA_BLOCK_WORDS) {
    if (ReadData64(first, first + DATA_BLOCK_WORDS >= VIDEO_POINTS ? 1 : 0) == 0) return false;
  }
  InstallReceiveCallback();
  return true;
}

// One pass: a measure request with pp unchanged, then, once any frame has answered it, the
// video line and the drawing. Returns with stop_flag set when the answer did not come.
void VideoPass() {
  SendOrder(ORDER_MEASURE);
  tstart = Timer();
  const int outcome = AwaitFrame(com, tstart, TIMEOUT);
  tdiff = Timer() - tstart;
  if (outcome != EXCHANGE_ANSWERED) {
    if (outcome == EXCHANGE_TIMED_OUT && stop_flag == 0) ShowStatus("Timeout RS232-Line!");
    if (stop_flag == 0) stop_flag = 1;
    return;
  }
  CopyPPtoRAWVars();
  if (!ReadVideoLine()) {
    if (stop_flag == 0) stop_flag = 1;
    return;
  }
  videoLineTaken = 1;
  PlotVIDEOBarGraph();
  PlotVIDEOCurve(adcbuf, xArray8);
  ++videoPassesDrawn;
  videoPassTime = Timer();
}

// Teach: the sensor takes its current value as setpoint; its answer is followed by the RAM
// read-back. Without an answer the time-out says so.
void Teach(int) {
  SendOrder(ORDER_TEACH);
  ShowStatus("New setpoint value teached!");
  tstart = Timer();
  const int outcome = AwaitFrame(com, tstart, TIMEOUT);
  tdiff = Timer() - tstart;
  if (outcome == EXCHANGE_ANSWERED) {
    // The taught setpoint replaces a typed one; other unsent values stay.
    replaceUnsent = 1u << TVAL_WORD;
    PushGET(RAM);
    replaceUnsent = 0;
  } else if (outcome == EXCHANGE_TIMED_OUT) {
    ShowStatus("Timeout RS232-Line!");
  }
}

void ResetAnalogMaxMin(int) {
  SendOrder(ORDER_RESET_ANALOG);
  ShowStatus("Reset Max/Min values...");
  tstart = Timer();
  const int outcome = AwaitFrame(com, tstart, TIMEOUT);
  tdiff = Timer() - tstart;
  if (outcome == EXCHANGE_ABANDONED) return;
  // The outcome is whether the answer came, not how long the wait took.
  CopyText(szStatus, outcome == EXCHANGE_ANSWERED ? "Reset of analog-output Max/Min OK!" : "Timeout-RS-232...");
  ShowStatus(szStatus);
}

// The video loop: whole passes until Stop, a silent sensor or a command that ends loops; the
// commands that wait run between two passes. Then the clean-up.
void RunVideoLoop(int) {
  EnterVideoMode();
  stop_flag = 0;
  do {
    VideoPass();
  } while (stop_flag == 0 && !TakeWaitingCommands());

  SetGroupAttribute(pHandle, kLoopEndButtons, ATTR_DIMMED, 0);
  if (PortAbandoned(com)) return;
  InstallReceiveCallback();
  ClearQueues(com);
}

void RunMeasurementCycle(int) { PushRUN(); }

// Stop takes its turn only behind commands that wait (a start pressed before it must not run
// after it); with none waiting, stop_flag alone ends the loop.
void StopLoop(int) {
  if (stop_flag == 0) stop_flag = 1;
}

}  // namespace

int CC_BTNRun(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(RunMeasurementCycle, 0, LINE_START);
  return 0;
}

int CC_BTNVideo(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(RunVideoLoop, 0, LINE_START);
  return 0;
}

int CC_BTNStop(int, int, int event, void*, int, int) {
  switch (event) {
    case EVENT_LEFT_CLICK:
    case EVENT_KEYPRESS:
      RunOnLine(StopLoop, 0, LINE_END);
      break;
    case EVENT_COMMIT:
      RunOnLine(StopLoop, 0, LINE_END);
      SetGroupAttribute(pHandle, kStartButtons, ATTR_DIMMED, 0);
      Delay(STOP_PAUSE);
      break;
    default:
      break;
  }
  return 0;
}

int CC_NUMVideoThreshold(int, int, int event, void*, int, int) {
  if (event != EVENT_VAL_CHANGED) return 0;
  // Only the drawn line follows the control here; vThd takes it at the next panel read.
  u16 threshold = 0;
  GetCtrlVal(pHandle, MAIN_NUMVideoThreshold, &threshold);
  for (u16& t : thdArray) t = threshold;
  PlotVIDEOCurve(adcbuf, xArray8);
  return 0;
}

void ApplySuggestedThreshold(void) {
  if (!videoLineTaken) return;
  SetCtrlVal(pHandle, MAIN_NUMVideoThreshold, signalCheck.suggestedThreshold);
  SettingChangedOnPanel(MAIN_NUMVideoThreshold);
  CC_NUMVideoThreshold(pHandle, MAIN_NUMVideoThreshold, EVENT_VAL_CHANGED, nullptr, 0, 0);
}

void InstallSignalCheckMenu(void) {
  signalCheckMenuItem = AddGraphMenuItem(pHandle, MAIN_GRAPHvideo, SIGNAL_CHECK_MENU_TEXT,
                                         [](int, int, int) { ApplySuggestedThreshold(); });
  SetGraphMenuItem(pHandle, MAIN_GRAPHvideo, signalCheckMenuItem, SIGNAL_CHECK_MENU_TEXT, 1);
}

int CC_ButtonTeach(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(Teach, 0, LINE_COMMAND);
  return 0;
}

int CC_ButtonReset(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(ResetAnalogMaxMin, 0, LINE_COMMAND);
  return 0;
}
