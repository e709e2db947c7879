// Port opening, the echo check of the line and the receive callback.
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_monitor.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "platform/sys/utility.h"
#include "state/sync_word.h"
#include "com232_report.h"

namespace {

constexpr double STEP_PAUSE = 0.1;  // between the identification steps
// The notify count registered with the receive callback off: nothing is called back then, so
// the count never acts; it is the one the link has always registered there.
constexpr int IDLE_NOTIFY_COUNT = 86;

struct OpenError {
  int code;
  const char* text;
};
constexpr OpenError kOpenErrors[] = {
    {-1, "Unknown system error"}, {-2, "Invalid port number"},  {-3, "Port is not open"},
    {-4, "Unknown I/0 error"},    {-6, "No serial port found"}, {-7, "Cannot open port"},
    {-13, "Invalid parameter"},   {-99, "Timeout"},
};

}  // namespace

const char* ComOpenErrorText(int code) {
  for (const OpenError& e : kOpenErrors)
    if (e.code == code) return e.text;
  return "RS-232 error!";
}

void InstallReceiveCallback(void) {
  InstallComCallback(com, eventMask, FRAME_SIZE, sync, RX_Receive_Function, nullptr);
}

void RemoveReceiveCallback(void) {
  // The notify count is irrelevant without events; the event character stays the sync byte.
  InstallComCallback(com, 0, IDLE_NOTIFY_COUNT, sync, nullptr, nullptr);
}

int PortGone(int port) { return ComPortUsable(port) ? 0 : 1; }

void RX_Receive_Function(int /*port*/, int mask, void* /*callbackData*/) {
  if (!(mask & RS232_EVENT_RECEIVE)) return;
  const int taken = ComRd(com, szReadBuf, FRAME_SIZE);
  if (taken > 0) MonitorAnswer(MONITOR_ANSWER, szReadBuf, taken, pcbtype, Timer());
  graph_flag = GetRxBuf(PNUM);
  rx_flag = 1;
  // Whatever came beyond the 36 bytes is not part of this frame.
  DiscardInQ(com);
}

int CheckComLine(int port) {
  CopyVarsToPP();
  FillTxBuf(ORDER_ECHO, pp);
  ClearQueues(port);
  rx_flag = 0;
  nBytesW = SendTxBuf(port, FRAME_SIZE);
  tstart = Timer();
  const int outcome = AwaitFrame(port, tstart, TIMEOUT);
  tdiff = Timer() - tstart;
  if (outcome == EXCHANGE_ABANDONED) return 0;
  int result = 0;
  if (outcome == EXCHANGE_TIMED_OUT) {
    CopyText(szStatus, "Timeout-RS-232...");
  } else {
    // The answer's sync word replaces word 0; the next order sent with pp carries it.
    pp[0] = WordAt(szReadBuf, 0);
    if (pp[0] == SYNC_FROM_SENSOR) {
      CopyText(szStatus, "Echo Check - Line Ok!");
      result = 1;
    } else {
      CopyText(szStatus, "read error - not sync byte 0xAA!");
    }
  }
  ReportStatus(szStatus);
  return result;
}

int sensorIdentified = 0;

void InitRS232(int port) {
  sensorIdentified = 0;
  int opened = OpenComConfig(port, "", COM_BAUD, RS232_PARITY_NONE, 8, 1, COM_QUEUE_SIZE, COM_QUEUE_SIZE);
  if (opened < 0) {
    CopyText(szStatus, ComOpenErrorText(opened));
    ReportStatus(szStatus);
    return;
  }
  MonitorOpened(Timer());
  SetComTime(port, TIMEOUT);
  DiscardInQ(port);
  FlushOutQ(port);
  SetCTSMode(port, 0);
  InstallComCallback(port, eventMask, FRAME_SIZE, sync, RX_Receive_Function, nullptr);
  if (CheckComLine(port) != 1) {
    if (!PortAbandoned(port)) ReportStatus(szStatus);
    return;
  }
  // A port closed meanwhile (the panel closed) ends the identification where it stands and
  // says nothing more; a lost one ends it with the outcome of the step that noticed.
  Delay(STEP_PAUSE);
  const int hardware = GetHARDWAREInfo();
  if (PortAbandoned(port)) return;
  if (hardware == 0) CopyText(szStatus, "Error reading HARDWARE-info!");
  sensorIdentified = hardware;
  if (PortGone(port)) {
    ReportStatus(szStatus);
    return;
  }
  Delay(STEP_PAUSE);
  target = RAM;
  PushGET(RAM);
  if (PortGone(port)) return;
  Delay(STEP_PAUSE);
  const int firmware = GetVERSIONInfo();
  if (PortAbandoned(port)) return;
  if (firmware < FIRMWARE_TEXT_SIZE) CopyText(szStatus, "Error reading firmware-info!");
  ReportStatus(szStatus);
}
