// Fuzz target: the receive path of the sensor link. The input is a list of records
// [kind][length][bytes...]; each record's bytes arrive on an in-memory port in one chunk:
//   kind % 4 == 0 or 1  frame stream: the receive callback takes each 36-byte frame, GetRxBuf
//                       decodes it; hardware answers are applied, result frames drawn
//   kind % 4 == 2       a video data block (callback off), put at index (kind / 4) * 8
//   kind % 4 == 3       a firmware answer (callback off), decoded for the board in use
// The main panel is loaded offscreen, so the drawing calls reach the real graphs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/globals.h"
#include "display/gui.h"
#include "display/userint.h"
#include "display/utility.h"
#include "fuzz/fake_port.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_decode.h"
#include "link/rs232.h"
#include "resources/panels.h"

namespace {

// A type-1 sensor: the geometry every input starts from, so one input's answers do not leak
// into the next.
const HardwareInfo kStartGeometry = {ORDER_HARDWARE_INFO, 1, 1024, 0, 100, 8192, 1024, 1, 1024, 310};

void TakeFrame() {
  rx_flag = 0;
  const HardwareInfo info = DecodeHardwareInfo(szReadBuf);
  if (info.order == ORDER_HARDWARE_INFO) ApplyHardwareInfo(info);
  if (graph_flag == 1) {
    CopyPPtoRAWVars();
    PlotVIDEOBarGraph();
    PlotRAWGraphX8();
    graph_flag = 0;
  }
}

// What ReadData64 and GetVERSIONInfo do once the bytes are waiting: take at most the receive
// buffer's worth, discard the rest.
int ReadWaiting() {
  const int waiting = GetInQLen(com);
  const int wanted = waiting < IO_BUF_SIZE ? waiting : IO_BUF_SIZE;
  const int n = wanted > 0 ? ComRd(com, szReadBuf, wanted) : 0;
  FlushInQ(com);
  return n;
}

void TakeBlock(const unsigned char* bytes, size_t count, int first) {
  RemoveReceiveCallback();
  FlushInQ(com);
  FakePortArrive(bytes, count);
  nBytesR = ReadWaiting();
  DecodeDataBlock(szReadBuf, first, adcbuf);
  PlotVIDEOCurve(adcbuf, xArray8);
  InstallReceiveCallback();
}

void TakeFirmware(const unsigned char* bytes, size_t count) {
  RemoveReceiveCallback();
  FlushInQ(com);
  FakePortArrive(bytes, count);
  nBytesR = ReadWaiting();
  if (nBytesR == FIRMWARE_TEXT_SIZE) {
    char text[FIRMWARE_TEXT_SIZE + 1];
    DecodeFirmwareText(szReadBuf, pcbtype, text, sizeof text);
    if (pcbtype == BOARD_WORD_CODED_TEXT) CopyText(szVersion, text);
    CopyText(szStatus, text);
    ResetTextBox(pHandle, MAIN_TBOXstatus, szStatus);
  }
  InstallReceiveCallback();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  InitCVIRTE(0, nullptr);
  pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_MAIN);
  if (pHandle < 0) {
    std::fprintf(stderr, "fuzz_receive: %s\n", GetLoadPanelError());
    std::abort();
  }
  com = 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  FakePortReset();
  ApplyHardwareInfo(kStartGeometry);
  InstallReceiveCallback();
  rx_flag = 0;
  graph_flag = 0;
  size_t at = 0;
  while (at + 2 <= size) {
    const unsigned kind = data[at];
    size_t length = data[at + 1];
    at += 2;
    if (length > size - at) length = size - at;
    const unsigned char* bytes = data + at;
    at += length;
    switch (kind % 4) {
      case 0:
      case 1:
        FakePortArrive(bytes, length);
        FakePortDeliver();
        if (rx_flag == 1) TakeFrame();
        break;
      case 2:
        TakeBlock(bytes, length, static_cast<int>(kind / 4) * 8);
        break;
      default:
        TakeFirmware(bytes, length);
        break;
    }
  }
  return 0;
}
