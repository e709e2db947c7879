// The setting controls with immediate effect.
#include "app/settings.h"

#include <cstdio>

#include "app/reconnect.h"
#include "display/gui_math.h"
#include "display/panel.h"
#include "display/sensor_set.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"

namespace {

constexpr double PORT_PAUSE = 0.1;   // around closing the port, so a running loop lets go of it
constexpr int MAX_LISTED_PORTS = 32;
constexpr double CURSOR_Y = 1.0;
constexpr int CURSOR_LEFT_LIMIT = 2;
constexpr int CURSOR_RIGHT_LIMIT = 3;

ComPortEntry gPorts[MAX_LISTED_PORTS];
int gPortCount = 0;

void AddPortItem(int port, const ComPortEntry* entry) {
  char label[sizeof entry->device + sizeof entry->name + 16];
  if (entry == nullptr)
    std::snprintf(label, sizeof label, "COM%d", port);
  else if (entry->name[0])
    std::snprintf(label, sizeof label, "COM%d  %s  %s", port, entry->device, entry->name);
  else
    std::snprintf(label, sizeof label, "COM%d  %s", port, entry->device);
  InsertListItem(pHandle, MAIN_DropDCom, -1, label, port);
}

}  // namespace

u16 CorrectLeftLimit(u16 v, u16 first, u16 last, bool* corrected) {
  bool changed = false;
  if (v < first) {
    v = first;
    changed = true;
  }
  if (v > last) {
    v = static_cast<u16>(last - 1);
    changed = true;
  }
  if (corrected) *corrected = changed;
  return v;
}

u16 CorrectRightLimit(u16 v, u16 first, u16 last, bool* corrected) {
  bool changed = false;
  if (v > last) {
    v = last;
    changed = true;
  }
  if (v < first) {
    v = static_cast<u16>(first + 1);
    changed = true;
  }
  if (corrected) *corrected = changed;
  return v;
}

void FillComPortRing(void) {
  const int n = ListComPorts(gPorts, MAX_LISTED_PORTS);
  gPortCount = n > 0 ? n : 0;
  ClearListCtrl(pHandle, MAIN_DropDCom);
  bool listed = false;
  for (int i = 0; i < gPortCount; ++i) {
    if (!listed && gPorts[i].port > com) {
      AddPortItem(com, nullptr);
      listed = true;
    }
    if (gPorts[i].port == com) listed = true;
    AddPortItem(gPorts[i].port, &gPorts[i]);
  }
  if (!listed) AddPortItem(com, nullptr);
  SetCtrlVal(pHandle, MAIN_DropDCom, com);
}

int ComPortListed(int port) {
  for (int i = 0; i < gPortCount; ++i)
    if (gPorts[i].port == port) return 1;
  return 0;
}

namespace {

// The port change takes its turn: the loop that runs has ended and the exchange in progress is
// complete before the port is closed.
void ChangeComPort(int port) {
  CancelComWait();
  stop_flag = 1;
  Delay(PORT_PAUSE);
  CloseCom(com);
  Delay(PORT_PAUSE);
  com = port;
  ResetTextBox(pHandle, MAIN_TBOXstatus, "Init COM-Port ...");
  InitRS232(com);
  NoteComOutcome();
  NoteIdentification(1);
}

}  // namespace

int CC_DropDCom(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int chosen = com;
  GetCtrlVal(pHandle, MAIN_DropDCom, &chosen);
  RunOnLine(ChangeComPort, chosen, LINE_END);
  return 0;
}

int CC_NEDITEdgeLeft(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  u16 v = 0;
  GetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, &v);
  bool corrected = false;
  v = CorrectLeftLimit(v, pixB, pixE, &corrected);
  // A value accepted as entered reaches eBeg at the next panel read.
  if (corrected) eBeg = v;
  SetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, v);
  SettingChangedOnPanel(MAIN_NEDITEdgeLeft);  // the mark follows the corrected value
  SetGraphCursor(pHandle, MAIN_GRAPHbar, CURSOR_LEFT_LIMIT, v, CURSOR_Y);
  return 0;
}

int CC_NEDITEdgeRight(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  u16 v = 0;
  GetCtrlVal(pHandle, MAIN_NEDITEdgeRight, &v);
  bool corrected = false;
  v = CorrectRightLimit(v, pixB, pixE, &corrected);
  if (corrected) eEnd = v;
  SetCtrlVal(pHandle, MAIN_NEDITEdgeRight, v);
  SettingChangedOnPanel(MAIN_NEDITEdgeRight);  // the mark follows the corrected value
  SetGraphCursor(pHandle, MAIN_GRAPHbar, CURSOR_RIGHT_LIMIT, v, CURSOR_Y);
  return 0;
}

int CC_NEDITTolerance(int, int, int event, void*, int, int) {
  if (event != EVENT_VAL_CHANGED) return 0;
  u16 v = 0;
  GetCtrlVal(pHandle, MAIN_NEDITTolerance, &v);
  SetCtrlVal(pHandle, MAIN_NUMtTol, v);
  return 0;
}

int CC_DropHardwareMode(int, int, int event, void*, int, int) {
  if (event != EVENT_VAL_CHANGED) return 0;
  u16 mode = 0;
  GetCtrlVal(pHandle, MAIN_DropHardwareMode, &mode);
  const int dim = gui_math::ToleranceUnused(mode) ? 1 : 0;
  SetGroupAttribute(pHandle, kToleranceGroup, ATTR_DIMMED, dim);
  return 0;
}

int CC_RNGanaMode(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  u16 mode = 0;
  GetCtrlVal(pHandle, MAIN_RNGanaMode, &mode);
  SetGroupAttribute(pHandle, kAnalogGroup, ATTR_VISIBLE, gui_math::AnalogGroupShown(mode) ? 1 : 0);
  return 0;
}
