// Fuzz target: the receive path of the sensor link, through the program's own calls. The input
// is a list of records [kind][length][bytes...]:
//   kind % 8 == 0       an answer of the sensor to the next request, `bytes`, arriving in
//                       pieces of (kind / 8) * 4 bytes (kind / 8 == 0: in one piece)
//   kind % 8 == 1       more bytes of that answer (answers beyond 255 bytes)
//   kind % 8 == 2       CheckComLine          5  ReadData64 at (kind / 8) * 16 - 16, as the
//                                               video loop calls it (frame callback off)
//            3          GetHARDWAREInfo       6  PushGET from RAM (kind / 8 even) or EEPROM
//            4          GetVERSIONInfo        7  PushRUN, until the answers run out
// A call's requests take the answers queued since the previous call, in order; the answers it
// does not ask for are dropped. A request without an answer meets a silent sensor (see
// fake_port.h). The main panel is loaded offscreen and the link's reports go to it as in the
// program, so the drawing calls reach the real graphs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/link_hooks.h"
#include "state/globals.h"
#include "platform/ui/userint.h"
#include "platform/serial/fake_port.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_decode.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"

namespace {

// A type-1 sensor: the geometry every input starts from, so one input's answers do not leak
// into the next.
const HardwareInfo kStartGeometry = {ORDER_HARDWARE_INFO, 1, 1024, 0, 100, 8192, 1024, 1, 1024, 310};
// The settings every input starts from (a parameter read-back replaces them).
u16 gStartSettings[PNUM];

void StartInput() {
  FakePortReset();
  for (int i = 0; i < PNUM; ++i) pp[i] = gStartSettings[i];
  CopyPPtoVars();
  ApplyHardwareInfo(kStartGeometry);
  InstallReceiveCallback();
  rx_flag = 0;
  graph_flag = 0;
  stop_flag = 0;
}

void RunCall(unsigned kind) {
  const unsigned arg = kind / 8;
  switch (kind % 8) {
    case 2:
      CheckComLine(com);
      break;
    case 3:
      GetHARDWAREInfo();
      break;
    case 4:
      GetVERSIONInfo();
      break;
    case 5: {
      // As the video loop reads its blocks: with the frame callback off.
      const int first = static_cast<int>(arg) * 16 - 16;
      RemoveReceiveCallback();
      FlushInQ(com);
      FlushOutQ(com);
      ReadData64(first, first + DATA_BLOCK_WORDS >= VIDEO_POINTS ? 1 : 0);
      InstallReceiveCallback();
      break;
    }
    case 6:
      PushGET(arg % 2 == 0 ? RAM : EEPROM);
      break;
    default:
      PushRUN();
      break;
  }
  FakePortDropAnswers();
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
  JoinLinkToPanel();
  com = 1;
  CopyVarsToPP();
  for (int i = 0; i < PNUM; ++i) gStartSettings[i] = pp[i];
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  StartInput();
  size_t at = 0;
  while (at + 2 <= size) {
    const unsigned kind = data[at];
    size_t length = data[at + 1];
    at += 2;
    if (length > size - at) length = size - at;
    if (kind % 8 == 0) {
      FakePortAnswer(data + at, length, (kind / 8) * 4);
    } else if (kind % 8 == 1) {
      FakePortAnswerMore(data + at, length);
    } else {
      RunCall(kind);
    }
    at += length;
  }
  return 0;
}
