// Following serial devices: the COM ring and the reopening of the port in use.
#include "app/reconnect.h"

#include <cstdio>

#include "state/globals.h"
#include "app/settings.h"
#include "display/gui.h"
#include "platform/ui/userint.h"
#include "link/com232.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"

int comWait = COM_WAIT_NONE;

namespace {

constexpr double BUSY_RECHECK = 0.25;  // seconds until a look again when a callback runs
constexpr double OPEN_RETRY = 0.5;     // a new device node may not be ours to open at once
constexpr int MAX_OPEN_TRIES = 8;      // ... but not for longer than a few seconds

int reopening = 0;     // set while PortsChanged runs an opening
int openTries = 0;     // openings of the awaited device that failed
unsigned choices = 0;  // the operator's COM choices so far

void ShowWaiting() {
  std::snprintf(szStatus, sizeof szStatus, "COM%d lost - waiting for it to come back ...", com);
  ResetTextBox(pHandle, MAIN_TBOXstatus, szStatus);
  ShowResultsLive(0);
}

// What tells one sensor from another: the fields of its hardware information.
struct Identity {
  u16 type, pixels, subpixel, board, firmware;
  bool operator==(const Identity&) const = default;
};
Identity shownSensor{};  // whose results the panel shows
bool anyShown = false;

}  // namespace

void NoteIdentification(int otherLine) {
  if (!sensorIdentified) {
    ShowResultsLive(0);
    return;
  }
  const Identity now{ccdtype, ccdmaxpixel, ccdsubpixel, pcbtype, softversion};
  // Before the first identification the panel holds nobody's results.
  if (otherLine || (anyShown && !(now == shownSensor))) ClearResults();
  shownSensor = now;
  anyShown = true;
  ShowResultsLive(1);
}

void StartPortWatch(void) {
  WatchComPorts(PortsChanged);
  // A device lost during the start-up's own opening is awaited like any other.
  if (ComPortLost(com)) PortsChanged();
}

void StopPortWatch(void) {
  WatchComPorts(nullptr);
  comWait = COM_WAIT_NONE;
}

void NoteComOutcome(void) {
  openTries = 0;
  FillComPortRing();  // what the opening found, not what the ring showed before
  comWait = (ComPortUsable(com) || ComPortListed(com)) ? COM_WAIT_NONE : COM_WAIT_NUMBER;
}

void CancelComWait(void) {
  ++choices;
  comWait = COM_WAIT_NONE;
  openTries = 0;
}

namespace {

// The reopening, as one turn on the line: the identification and what its outcome means for
// the wait.
void Reopen(int) {
  const unsigned choicesBefore = choices;
  reopening = 1;
  ResetTextBox(pHandle, MAIN_TBOXstatus, "Init COM-Port ...");
  InitRS232(com);
  reopening = 0;
  NoteIdentification(0);
  if (choices != choicesBefore) return;  // the operator chose a port meanwhile
  if (ComPortLost(com)) {
    ShowWaiting();  // gone again during the identification: wait for it once more
    return;
  }
  if (ComPortUsable(com) || ++openTries >= MAX_OPEN_TRIES) {
    comWait = COM_WAIT_NONE;
    return;
  }
  RecheckComPorts(OPEN_RETRY);
}

}  // namespace

void PortsChanged(void) {
  FillComPortRing();
  if (reopening) return;
  // A port in use that works awaits nothing (it may have been opened past the ring).
  if (ComPortUsable(com)) comWait = COM_WAIT_NONE;
  // A loop, a command or a pop-up of the operator's is running (the loop on a lost port is
  // about to end): look again once it is over, so its own last text stays in order and no
  // opening runs nested inside it.
  if (CallbackRunning() || stop_flag == 0 || LineBusy()) {
    if (comWait != COM_WAIT_NONE || ComPortLost(com)) RecheckComPorts(BUSY_RECHECK);
    return;
  }
  if (comWait == COM_WAIT_NONE && ComPortLost(com)) {
    comWait = COM_WAIT_DEVICE;
    openTries = 0;
    ShowWaiting();
  }
  if (comWait == COM_WAIT_NONE || !ComPortListed(com)) return;
  RunOnLine(Reopen, 0, LINE_END);
}
