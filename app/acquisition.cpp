// The acquisition controls. The loops run inside their button callbacks and keep pumping
// events, so Stop, the receive callback and the other controls run nested inside them.
#include "app/acquisition.h"

#include "app/globals.h"
#include "app/sync_word.h"
#include "display/gui.h"
#include "display/panel.h"
#include "display/userint.h"
#include "display/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/rs232.h"
#include "resources/panels.h"

namespace {

constexpr double STOP_PAUSE = 0.2;  // lets the loop that is running see stop_flag first

// Commands that need the line (read-back, teach, reset), pressed while the measurement or
// video loop runs. They run nested inside the loop's event pumping, where their request and
// the loop's would answer each other's waits; so they end the loop and run once it has
// returned, in the order they were pressed.
struct LineCommand {
  void (*run)(int);
  int argument;
};
constexpr int MAX_WAITING_COMMANDS = 4;
LineCommand waitingCommands[MAX_WAITING_COMMANDS];
int waitingCount = 0;
int acquisitionLoops = 0;  // measurement or video loops running (nested at most by accident)

void ShowStatus(const char* text) { ResetTextBox(pHandle, MAIN_TBOXstatus, text); }

// One request with pp as it stands; both queues are emptied first so the answer that raises
// rx_flag belongs to this request.
void SendOrder(u16 code) {
  DiscardInQ(com);
  FlushOutQ(com);
  rx_flag = 0;
  order = code;
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
// the bytes of a block for a frame.
void ReadVideoLine() {
  RemoveReceiveCallback();
  DiscardInQ(com);
  FlushOutQ(com);
  for (int first = 0; first < VIDEO_POINTS; first += DATA_BLOCK_WORDS) {
    ReadData64(first, first + DATA_BLOCK_WORDS >= VIDEO_POINTS ? 1 : 0);
  }
  InstallReceiveCallback();
}

// One pass: a measure request with pp unchanged, then, once any frame has answered it, the
// video line and the drawing. Returns with stop_flag = 1 when the answer did not come.
void VideoPass() {
  SendOrder(ORDER_MEASURE);
  tstart = Timer();
  while (rx_flag != 1) {
    ProcessSystemEvents();
    tdiff = Timer() - tstart;
    if (tdiff > TIMEOUT || PortGone(com)) {
      NoteTimeout();
      ShowStatus("Timeout RS232-Line!");
      stop_flag = 1;
      break;
    }
  }
  if (rx_flag != 1) return;
  CopyPPtoRAWVars();
  ReadVideoLine();
  videoLineTaken = 1;
  PlotVIDEOBarGraph();
  PlotVIDEOCurve(adcbuf, xArray8);
  ++videoPassesDrawn;
  videoPassTime = Timer();
}

// Runs a measurement or video loop, then the commands pressed while it ran.
void RunAcquisition(void (*loop)(void)) {
  ++acquisitionLoops;
  loop();
  --acquisitionLoops;
  lineRequested = 0;
  if (acquisitionLoops > 0) return;  // the outer loop runs them when it has ended
  for (int i = 0; i < waitingCount; ++i) waitingCommands[i].run(waitingCommands[i].argument);
  waitingCount = 0;
}

// Teach: the sensor takes its current value as setpoint; its answer is followed by the RAM
// read-back. Without an answer within the time-out nothing more happens.
void Teach(int) {
  SendOrder(ORDER_TEACH);
  ShowStatus("New setpoint value teached!");
  tstart = Timer();
  for (;;) {
    if (rx_flag == 1) {
      PushGET(RAM);
      break;
    }
    ProcessSystemEvents();
    tdiff = Timer() - tstart;
    // An answer taken in by the last event pumping still counts.
    if ((tdiff >= TIMEOUT || PortGone(com)) && rx_flag != 1) {
      NoteTimeout();
      break;
    }
  }
}

void ResetAnalogMaxMin(int) {
  SendOrder(ORDER_RESET_ANALOG);
  ShowStatus("Reset Max/Min values...");
  tstart = Timer();
  tdiff = 0.0;
  while (rx_flag != 1 && tdiff < TIMEOUT && !PortGone(com)) {
    ProcessSystemEvents();
    tdiff = Timer() - tstart;
  }
  // The outcome is whether the answer came, not how long the wait took.
  if (rx_flag != 1) NoteTimeout();
  CopyText(szStatus, rx_flag == 1 ? "Reset of analog-output Max/Min OK!" : "Timeout-RS-232...");
  ShowStatus(szStatus);
}

// The video loop: passes until Stop or a silent sensor sets stop_flag, then the clean-up.
void RunVideoLoop() {
  EnterVideoMode();
  stop_flag = 0;
  do {
    VideoPass();
    ProcessSystemEvents();
  } while (stop_flag == 0);

  SetCtrlAttribute(pHandle, MAIN_BTNVideo, ATTR_DIMMED, 0);
  SetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_DIMMED, 0);
  SetCtrlAttribute(pHandle, MAIN_ButtonTeach, ATTR_DIMMED, 0);
  InstallReceiveCallback();
  FlushOutQ(com);
  DiscardInQ(com);
}

}  // namespace

void RunCommandOnLine(void (*command)(int), int argument) {
  if (acquisitionLoops == 0) {
    command(argument);
    return;
  }
  // Ends the loop as Stop does; the loop hands the line over once its last answer is in.
  if (waitingCount < MAX_WAITING_COMMANDS) waitingCommands[waitingCount++] = {command, argument};
  lineRequested = 1;
  stop_flag = 1;
}

int CC_BTNRun(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunAcquisition(PushRUN);
  return 0;
}

int CC_BTNVideo(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunAcquisition(RunVideoLoop);
  return 0;
}

int CC_BTNStop(int, int, int event, void*, int, int) {
  switch (event) {
    case EVENT_LEFT_CLICK:
    case EVENT_KEYPRESS:
      stop_flag = 1;
      break;
    case EVENT_COMMIT:
      stop_flag = 1;
      SetCtrlAttribute(pHandle, MAIN_BTNRun, ATTR_DIMMED, 0);
      SetCtrlAttribute(pHandle, MAIN_BTNVideo, ATTR_DIMMED, 0);
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
  MarkUnsent(MAIN_NUMVideoThreshold, 1);
  CC_NUMVideoThreshold(pHandle, MAIN_NUMVideoThreshold, EVENT_VAL_CHANGED, nullptr, 0, 0);
}

void InstallSignalCheckMenu(void) {
  signalCheckMenuItem = AddGraphMenuItem(pHandle, MAIN_GRAPHvideo, SIGNAL_CHECK_MENU_TEXT,
                                         [](int, int, int) { ApplySuggestedThreshold(); });
  SetGraphMenuItem(pHandle, MAIN_GRAPHvideo, signalCheckMenuItem, SIGNAL_CHECK_MENU_TEXT, 1);
}

int CC_ButtonTeach(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunCommandOnLine(Teach, 0);
  return 0;
}

int CC_ButtonReset(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunCommandOnLine(ResetAnalogMaxMin, 0);
  return 0;
}
