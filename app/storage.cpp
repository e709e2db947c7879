// Parameter storage targets, send and read, and the parameter file.
#include "app/storage.h"

#include "app/acquisition.h"
#include "app/change_log.h"
#include "app/compare.h"

#include <cstdint>
#include <cstdio>

#include "display/link_view.h"
#include "display/panel.h"
#include "display/sensor_set.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_owner.h"
#include "platform/serial/rs232.h"
#include "resources/panels.h"

char file_name[PATH_SIZE] = "";

namespace {

// Button labels of the file dialog.
constexpr int FILE_BUTTON_OK = 0;
constexpr int FILE_BUTTON_LOAD = 3;
// Dialog options: directory free, extension restricted, cancel and new folders allowed.
constexpr int DIR_FREE = 0;
constexpr int EXTENSION_ONLY = 1;
constexpr int CANCEL_ALLOWED = 1;
constexpr int MAKE_DIR_ALLOWED = 1;

constexpr int kTargetButtons[] = {MAIN_RBTRam, MAIN_RBTEeprom, MAIN_RBTFile};

// The parameter sets of SEND presses that wait for their turn on the line, as the panel held
// them when pressed. As many as commands can wait.
constexpr int SEND_SLOTS = 16;
constexpr int SEND_TARGETS = 4;  // RAM, EEPROM and DATFILE fit below it
u16 pressedSets[SEND_SLOTS][PNUM];
int nextSendSlot = 0;

// A GET the operator asked for: the answer replaces every value on the panel, unsent or not.
void AskedGet(int from) {
  replaceUnsent = ALL_WORDS;
  PushGET(from);
  replaceUnsent = 0;
}

// Appends the write to the change log; a log that cannot be written is said on the status
// line, and the write itself stands.
void LogWrite(int to, const char* path, const u16* before, const u16 after[PNUM]) {
  if (LogSettingsChange(to, path, before, after) < 0) ShowStatus(CHANGE_LOG_FAILED);
  RefreshCompareWindow();
}

void SendPressedSet(int slotAndTarget) {
  SendWords(slotAndTarget % SEND_TARGETS, pressedSets[slotAndTarget / SEND_TARGETS]);
}

// Switches the clicked target button; the RAM button cannot be switched off, and switching off
// either of the others falls back to RAM.
void ChooseTarget(int button, int chosen) {
  int v = 0;
  GetCtrlVal(pHandle, button, &v);
  if (v == 0) {
    target = RAM;
    SetCtrlVal(pHandle, MAIN_RBTRam, 1);
    return;
  }
  target = chosen;
  for (int id : kTargetButtons) SetCtrlVal(pHandle, id, id == button ? 1 : 0);
}

}  // namespace

int ChooseParameterFile(int forSaving, char* path) {
  return FileSelectPopup(proj_dir, PARA_FILE_DEFAULT, PARA_FILE_FILTER,
                         forSaving ? PARA_SAVE_TITLE : PARA_LOAD_TITLE,
                         forSaving ? FILE_BUTTON_OK : FILE_BUTTON_LOAD, DIR_FREE, EXTENSION_ONLY,
                         CANCEL_ALLOWED, MAKE_DIR_ALLOWED, path);
}

void TakeParameterValues(const u32 values[PNUM]) {
  for (int i = 0; i < PNUM; ++i) pp[i] = static_cast<u16>(values[i] & 0xFFFFu);
  CopyPPtoVars();
  // The panel refresh that follows marks every value it cannot show as the file held it.
  NoteFileValues(values);
}

bool ReadParameterValues(const char* path, u32 values[PNUM]) {
  return ReadParameterFile(path, values) == PARA_FILE_READ;
}

void SendParaToFile(void) {
  // An existing file is replaced only when the operator confirms it, the recorder's file never
  // (the status line says why nothing was saved).
  if (ConfirmReplaceFile(file_name, "Parameter file") <= 0) return;
  // The file gets what the panel shows.
  GetPanelValues();
  CopyVarsToPP();
  // What the file held before, for the change log.
  u32 held[PNUM] = {};
  u16 before[PNUM];
  const bool known = ReadParameterValues(file_name, held);
  for (int i = 0; i < PNUM; ++i) before[i] = static_cast<u16>(held[i] & 0xFFFFu);
  char text[PNUM * (PARA_FIELD_WIDTH + 2) + 1];
  const size_t n = FormatParameterText(pp, text, sizeof text);
  if (n == 0 || WriteFileBytes(file_name, text, n) < 0) {
    CopyText(szStatus, PARA_WRITE_FAILED);
    ShowStatus(szStatus);
    return;
  }
  LogWrite(DATFILE, file_name, known ? before : nullptr, pp);
  // The status text kept for later panel refreshes may be an earlier failure; it no longer
  // holds. The line itself keeps "Transmit...".
  szStatus[0] = '\0';
}

void ReadParaFromFile(void) {
  if (ChooseParameterFile(0, file_name) <= 0) return;
  u32 values[PNUM];
  if (!ReadParameterValues(file_name, values)) {
    // Kept in szStatus so the panel refresh that follows shows it again.
    CopyText(szStatus, PARA_READ_FAILED);
    ShowStatus(szStatus);
    return;
  }
  TakeParameterValues(values);
  // ... and takes the file's values over unsent ones, marking what the sensor does not hold.
  replaceUnsent = ALL_WORDS;
  // The panel refresh that follows shows szStatus: after a good file no earlier failure.
  szStatus[0] = '\0';
}

void SendWords(int to, const u16 words[PNUM]) {
  for (int i = 0; i < PNUM; ++i) pp[i] = words[i];
  // The settings and the panel are what the sensor now holds, also when a read-back that ran
  // between the press and this turn showed the sensor's earlier set.
  CopyPPtoVars();
  SetPanelValues();
  CopyVarsToPP();
  u16 before[PNUM];
  const bool known = KnownTargetSet(to, before);
  nBytesW = SendParameterSet(to, pp);
  // A write that did not go out says why rather than leaving "Transmit..." standing.
  ShowStatus(nBytesW == FRAME_SIZE ? "Line Ok!" : ComOpenErrorText(nBytesW));
  if (nBytesW != FRAME_SIZE) return;
  // The panel's values are on their way: nothing on it is unsent any more.
  NoteSensorSet(pp);
  NoteTargetSet(to, pp);
  LogWrite(to, nullptr, known ? before : nullptr, pp);
}

int CC_RBTRam(int, int, int event, void*, int, int) {
  if (event == EVENT_VAL_CHANGED) ChooseTarget(MAIN_RBTRam, RAM);
  return 0;
}

int CC_RBTEeprom(int, int, int event, void*, int, int) {
  if (event == EVENT_VAL_CHANGED) ChooseTarget(MAIN_RBTEeprom, EEPROM);
  return 0;
}

int CC_RBTFile(int, int, int event, void*, int, int) {
  if (event == EVENT_VAL_CHANGED) ChooseTarget(MAIN_RBTFile, DATFILE);
  return 0;
}

int CC_BTNSend(int, int, int event, void*, int, int) {
  // Only the mouse sends: a commit from the keyboard alone does nothing.
  if (event != EVENT_LEFT_CLICK) return 0;
  ShowStatus("Transmit...");
  if (target == DATFILE) {
    if (ChooseParameterFile(1, file_name) > 0) {
      SendParaToFile();
    }
    return 0;
  }
  // The settings and the target as they were when SEND was pressed; during a loop the write
  // goes out between two of its exchanges, whole, before the loop's next request.
  GetPanelValues();
  CopyVarsToPP();
  const int slot = nextSendSlot;
  nextSendSlot = (nextSendSlot + 1) % SEND_SLOTS;
  for (int i = 0; i < PNUM; ++i) pressedSets[slot][i] = pp[i];
  RunOnLine(SendPressedSet, slot * SEND_TARGETS + target, LINE_COMMAND);
  return 0;
}

int CC_BTNGet(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  if (target == DATFILE) {
    ReadParaFromFile();
    PushGET(target);
    replaceUnsent = 0;
    return 0;
  }
  // The read-back's target is the one chosen when GET was pressed.
  RunOnLine(AskedGet, target, LINE_COMMAND);
  return 0;
}
