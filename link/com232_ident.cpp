// Identification of the sensor: the hardware-information frame (geometry and scales by sensor
// type) and the firmware text.
#include <initializer_list>

#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_decode.h"
#include "link/com232_monitor.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "platform/sys/utility.h"
#include "state/sync_word.h"
#include "com232_report.h"

namespace {

constexpr u16 FIRMWARE_SMALL_VIDEO = 220;  // firmware whose video words span 0..255
constexpr u16 VIDEO_TOP = 1024;
constexpr u16 VIDEO_TOP_SMALL = 256;
constexpr u16 FALLBACK_PIXELS = 256;

bool IsAcceptedPixelCount(u16 n) {
  for (u16 ok : {512, 768, 1024, 1280, 1536, 2048})
    if (n == ok) return true;
  return false;
}

/// Step in sub-pixels between two video points; 0 for a sub-pixel range not in the table.
int SubPixelFactor(u16 subpixel) {
  struct Entry {
    u16 subpixel;
    int factor;
  };
  static constexpr Entry kTable[] = {{512, 2},   {768, 3},   {1024, 4},  {1180, 5},  {1280, 5},
                                     {1536, 6},  {2048, 8},  {2360, 10}, {2560, 10}, {8192, 32}};
  for (const Entry& e : kTable)
    if (e.subpixel == subpixel) return e.factor;
  return 0;
}

void FillVideoScales() {
  int factor = SubPixelFactor(ccdsubpixel);
  if (factor == 0) {
    factor = 1;
    ccdsubpixel = FALLBACK_PIXELS;
  }
  for (int i = 0; i < VIDEO_POINTS; ++i) {
    xArray8[i] = static_cast<double>(i) * factor;
  }
}

u16 VideoTopFor(u16 firmware) { return firmware == FIRMWARE_SMALL_VIDEO ? VIDEO_TOP_SMALL : VIDEO_TOP; }

// The geometry that depends on the sensor type: the first and last pixel shown and the top of
// the video scale. What the panel shows for the type is the program's business (the
// sensor-identified report).
void ApplySensorGeometry() {
  switch (ccdtype) {
    case 1:
      pixB = 1;
      pixE = 1024;
      YAXISMAX = VIDEO_TOP;
      break;
    case 2:
      if (ccdresolution == 350 || ccdresolution == 250) {
        pixB = 1;
        pixE = 1024;
        YAXISMAX = VideoTopFor(softversion);
      } else {
        YAXISMAX = VIDEO_TOP;
      }
      break;
    case 3:
    case 4:
      pixB = 1;
      pixE = 512;
      YAXISMAX = VIDEO_TOP;
      break;
    case 101:
      pixB = 1;
      pixE = 256;
      YAXISMAX = VIDEO_TOP;
      break;
    case 102:
    case 103:
    case 104:
      pixB = 1;
      pixE = ccdtype == 102 ? 768 : ccdtype == 103 ? ccdpixE : 1536;
      YAXISMAX = VideoTopFor(softversion);
      break;
    default:
      pixB = 1;
      pixE = 1024;
      YAXISMAX = VIDEO_TOP;
      break;
  }
}

}  // namespace

int GetHARDWAREInfo(void) {
  YAXISMAX = VIDEO_TOP;
  FillTxBuf(ORDER_HARDWARE_INFO, pp);
  ClearQueues(com);
  rx_flag = 0;
  nBytesW = SendTxBuf(com, FRAME_SIZE);
  tstart = Timer();
  const int outcome = AwaitFrame(com, tstart, TIMEOUT);
  tdiff = Timer() - tstart;
  if (outcome == EXCHANGE_TIMED_OUT) CopyText(szStatus, "Timeout-RS-232...");
  if (outcome != EXCHANGE_ANSWERED) return 0;

  return ApplyHardwareInfo(DecodeHardwareInfo(szReadBuf));
}

int ApplyHardwareInfo(const HardwareInfo& h) {
  ccdtype = h.type;
  ccdmaxpixel = h.maxPixel;
  ccdresolution = h.resolution;
  pcbtype = h.board;
  ccdmaxpixelX8 = h.maxPixelX8;
  ccdsubpixel = h.subPixel;
  ccdsubpixelReported = h.subPixel;
  ccdpixB = h.pixB;
  ccdpixE = h.pixE;
  softversion = h.firmware;
  if (h.order != ORDER_HARDWARE_INFO) return 0;

  if (!IsAcceptedPixelCount(ccdmaxpixel)) ccdmaxpixel = FALLBACK_PIXELS;
  FillVideoScales();
  ApplySensorGeometry();
  ReportSensorIdentified();
  return 1;
}

int GetVERSIONInfo(void) {
  int count = 0;
  // Without the callback the 72-byte answer stays in the input queue instead of being taken
  // as a 36-byte frame.
  RemoveReceiveCallback();
  ClearQueues(com);
  FillTxBuf(ORDER_FIRMWARE_INFO, pp);
  nBytesW = SendTxBuf(com, FRAME_SIZE);
  if (nBytesW == FRAME_SIZE) ReportStatus("Waiting for parameter-frame ...");
  ReportStatus("Waiting for firmware info ...");

  const int port = com;
  const int outcome = AwaitBytes(port, FIRMWARE_TEXT_SIZE, Timer(), FIRMWARE_TIMEOUT, &count);
  if (outcome == EXCHANGE_ABANDONED) return count > 0 ? count : 0;
  if (outcome == EXCHANGE_TIMED_OUT) CopyText(szStatus, "Timeout - reading firmware info!");

  szVersion[0] = '\0';
  szFirmware[0] = '\0';
  // Never more than the receive buffer holds; whatever does not fit is discarded below.
  const int wanted = count < IO_BUF_SIZE ? (count > 0 ? count : 0) : IO_BUF_SIZE;
  nBytesR = wanted > 0 ? ComRd(com, szReadBuf, wanted) : 0;
  if (nBytesR > 0) MonitorAnswer(MONITOR_FIRMWARE_TEXT, szReadBuf, nBytesR, pcbtype, Timer());
  if (nBytesR == FIRMWARE_TEXT_SIZE) {
    // Plain text ends at its first NUL byte, and at 71 characters (the status line) when there
    // is none; word-coded text is also kept as the firmware version.
    char text[FIRMWARE_TEXT_SIZE + 1];
    DecodeFirmwareText(szReadBuf, pcbtype, text, sizeof text);
    if (pcbtype == BOARD_WORD_CODED_TEXT) CopyText(szVersion, text);
    CopyText(szFirmware, text);
    CopyText(szStatus, text);
  }
  InstallReceiveCallback();
  ClearQueues(com);
  rx_flag = 0;
  ReportStatus(szStatus);
  return count;
}
