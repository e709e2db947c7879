// The compare window: the panel's settings beside the sensor's RAM and EEPROM and a parameter
// file, reads of the sensor on the operator's word, the take into the panel, the EEPROM's
// verification and the newest lines of the change log.
#include "app/compare.h"

#include <cstdio>

#include "app/change_log.h"
#include "app/storage.h"
#include "display/link_view.h"
#include "display/panel.h"
#include "display/sensor_set.h"
#include "link/com232.h"
#include "link/com232_codec.h"
#include "link/com232_owner.h"
#include "link/com232_paraset.h"
#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

int pCompare = 0;

namespace {

// Table columns.
constexpr int COLUMN_NAME = 0;
constexpr int COLUMN_UNIT = 1;
constexpr int COLUMN_PANEL = 2;
constexpr int COLUMN_FIRST_SET = 3;  // RAM, EEPROM, file: column COLUMN_FIRST_SET + target - 1
constexpr int SET_PLACES = 3;        // RAM, EEPROM, DATFILE

constexpr int DIFFERS_COLOUR = 0xFFD8A8;  // a set's value that is not the panel's
constexpr int LOG_LINES = 8;
constexpr int TIP_SIZE = 96;
constexpr int VERDICT_SIZE = 512;

const char* const kPlaceNames[SET_PLACES] = {"sensor's RAM", "sensor's EEPROM", "file"};

struct KnownSet {
  bool known = false;
  u32 values[PNUM] = {};  // a file's numbers as it held them, beyond 16 bits too
};
KnownSet gSets[SET_PLACES];  // by target - 1
char gFilePath[PATH_BUFFER_SIZE] = "";
int gMenuItem = 0;

bool IsPlace(int place) { return place >= RAM && place <= DATFILE; }

void PanelWords(u16 words[PNUM]) {
  for (int i = 0; i < PNUM; ++i) words[i] = ShownWord(i);
}

void SetVerdict(const char* text) {
  if (pCompare > 0) SetCtrlVal(pCompare, COMPARE_STRverdict, text);
}

void ShowSetColumn(int place, const u16 panel[PNUM]) {
  const KnownSet& set = gSets[place - 1];
  const int column = COLUMN_FIRST_SET + place - 1;
  for (int i = 0; i < PNUM; ++i) {
    char text[16] = "-";
    char tip[TIP_SIZE] = "";
    const bool differs = set.known && set.values[i] != panel[i];
    if (set.known) std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(set.values[i]));
    if (differs) std::snprintf(tip, sizeof tip, "Differs from the panel's %u.", static_cast<unsigned>(panel[i]));
    SetTableCellVal(pCompare, COMPARE_TABLEsets, i, column, text);
    SetTableCellAttribute(pCompare, COMPARE_TABLEsets, i, column, ATTR_TEXT_BGCOLOR, differs ? DIFFERS_COLOUR : -1);
    SetTableCellAttribute(pCompare, COMPARE_TABLEsets, i, column, ATTR_TOOLTIP, tip);
  }
}

void ShowLog() {
  static char lines[LOG_LINES][CHANGE_LOG_LINE_SIZE];
  const int n = ReadChangeLogTail(lines, LOG_LINES);
  // A line longer than the window shows whole in its tooltip.
  for (int row = 0; row < LOG_LINES; ++row) {
    SetTableCellVal(pCompare, COMPARE_TABLElog, row, 0, row < n ? lines[row] : "");
    SetTableCellAttribute(pCompare, COMPARE_TABLElog, row, 0, ATTR_TOOLTIP, row < n ? lines[row] : "");
  }
}

// One read of the sensor's RAM or EEPROM for the window, as a turn on the line: the panel keeps
// its values, the set goes into its column (a RAM read also tells the unsent marks what the
// sensor holds), the status line says what came of it, and `differences` names what differs
// from the panel (`count` of them). Returns the exchange's outcome.
int ReadBesideThePanel(int from, char* differences, size_t size, int* count) {
  u16 words[PNUM];
  const int outcome = ReadParameterSet(from, words);
  if (outcome == EXCHANGE_ABANDONED) return outcome;
  if (outcome == EXCHANGE_ANSWERED) {
    NoteTargetSet(from, words);
    if (from == RAM) NoteSensorRam(words);
    u16 panel[PNUM];
    PanelWords(panel);
    *count = DescribeDifferences(words, panel, differences, size);
  }
  CopyText(szStatus, outcome == EXCHANGE_ANSWERED ? "Parameter-frame received! - Line Ok!" : "Timeout-RS-232...");
  ShowStatus(szStatus);
  RefreshCompareWindow();
  return outcome;
}

void ReadForWindow(int from) {
  char differences[VERDICT_SIZE] = "";
  int n = 0;
  const int outcome = ReadBesideThePanel(from, differences, sizeof differences, &n);
  if (outcome == EXCHANGE_ABANDONED) return;
  char verdict[VERDICT_SIZE];
  const char* place = kPlaceNames[from - 1];
  if (outcome != EXCHANGE_ANSWERED)
    std::snprintf(verdict, sizeof verdict, "The %s could not be read: the sensor did not answer.", place);
  else if (n == 0)
    std::snprintf(verdict, sizeof verdict, "The %s holds the panel's settings.", place);
  else
    std::snprintf(verdict, sizeof verdict, "The %s differs from the panel in %d setting%s.", place, n,
                  n == 1 ? "" : "s");
  SetVerdict(verdict);
}

// Reads the EEPROM back and says whether it holds what the panel shows.
void VerifyEeprom(int) {
  char differences[VERDICT_SIZE - 64] = "";
  int n = 0;
  const int outcome = ReadBesideThePanel(EEPROM, differences, sizeof differences, &n);
  if (outcome == EXCHANGE_ABANDONED) return;
  char verdict[VERDICT_SIZE];
  if (outcome != EXCHANGE_ANSWERED)
    CopyText(verdict, "Not verified: the sensor did not answer.");
  else if (n == 0)
    CopyText(verdict, "Verified: the EEPROM holds the panel's settings.");
  else
    std::snprintf(verdict, sizeof verdict, "Not verified: the EEPROM differs in %d setting%s: %s.", n,
                  n == 1 ? "" : "s", differences);
  SetVerdict(verdict);
}

void OpenFromMenu(int, int) { OpenCompareWindow(); }

}  // namespace

void SettingValueChanged(int panel, int control) {
  if (panel != pHandle) return;
  SettingChangedOnPanel(control);
  RefreshCompareWindow();
}

bool KnownTargetSet(int target, u16 out[PNUM]) {
  if (!IsPlace(target) || !gSets[target - 1].known) return false;
  for (int i = 0; i < PNUM; ++i) out[i] = static_cast<u16>(gSets[target - 1].values[i] & 0xFFFFu);
  return true;
}

void NoteTargetSet(int target, const u16 words[PNUM]) {
  if (!IsPlace(target)) return;
  gSets[target - 1].known = true;
  for (int i = 0; i < PNUM; ++i) gSets[target - 1].values[i] = words[i];
}

void ForgetSensorSets(void) {
  gSets[RAM - 1].known = false;
  gSets[EEPROM - 1].known = false;
  sensorSetKnown = 0;
}

int DescribeDifferences(const u16 set[PNUM], const u16 panel[PNUM], char* out, size_t size) {
  int n = 0;
  if (size > 0) out[0] = '\0';
  for (int i = 0; i < PNUM; ++i) {
    if (set[i] == panel[i]) continue;
    char one[96];
    std::snprintf(one, sizeof one, "%s%s %u (panel %u)", n ? ", " : "", kSettings[i].label,
                  static_cast<unsigned>(set[i]), static_cast<unsigned>(panel[i]));
    AppendText(out, size, one);
    ++n;
  }
  return n;
}

int LoadCompareWindow(void) {
  pCompare = LoadPanel(0, PANEL_RESOURCE_FILE, PANEL_COMPARE);
  if (pCompare < 0) return pCompare;
  for (int i = 0; i < PNUM; ++i) {
    SetTableCellVal(pCompare, COMPARE_TABLEsets, i, COLUMN_NAME, kSettings[i].label);
    SetTableCellVal(pCompare, COMPARE_TABLEsets, i, COLUMN_UNIT, kSettings[i].unit);
  }
  gMenuItem = AddPanelMenuItem(pHandle, "Compare parameter sets...", OpenFromMenu);
  return gMenuItem < 0 ? gMenuItem : 0;
}

void OpenCompareWindow(void) {
  if (pCompare <= 0) return;
  DisplayPanel(pCompare);
  RefreshCompareWindow();
}

void RefreshCompareWindow(void) {
  if (pCompare <= 0 || !IsPanelVisible(pCompare)) return;
  u16 panel[PNUM];
  PanelWords(panel);
  for (int i = 0; i < PNUM; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(panel[i]));
    char tip[TIP_SIZE] = "";
    const bool unsent = SettingUnsent(i);
    if (unsent) std::snprintf(tip, sizeof tip, "Not sent yet: the sensor has %u.", static_cast<unsigned>(sensorSet[i]));
    SetTableCellVal(pCompare, COMPARE_TABLEsets, i, COLUMN_PANEL, text);
    SetTableCellAttribute(pCompare, COMPARE_TABLEsets, i, COLUMN_PANEL, ATTR_TEXT_BGCOLOR, unsent ? UNSENT_COLOUR : -1);
    SetTableCellAttribute(pCompare, COMPARE_TABLEsets, i, COLUMN_PANEL, ATTR_TOOLTIP, tip);
  }
  for (int place = RAM; place <= DATFILE; ++place) ShowSetColumn(place, panel);
  SetCtrlVal(pCompare, COMPARE_STRfile, gFilePath);
  ShowLog();
}

int CC_BTNCompare(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) OpenCompareWindow();
  return 0;
}

int CC_COMPARE(int panel, int event, void*, int, int) {
  if (event == EVENT_CLOSE) HidePanel(panel);
  return 0;
}

int CC_BTNCloseCompare(int panel, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) HidePanel(panel);
  return 0;
}

int CC_BTNReadRam(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(ReadForWindow, RAM, LINE_COMMAND);
  return 0;
}

int CC_BTNReadEeprom(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(ReadForWindow, EEPROM, LINE_COMMAND);
  return 0;
}

int CC_BTNVerify(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RunOnLine(VerifyEeprom, 0, LINE_COMMAND);
  return 0;
}

int CC_BTNOpenFile(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  char path[PATH_BUFFER_SIZE];
  CopyText(path, gFilePath);
  if (ChooseParameterFile(0, path) <= 0) return 0;
  u32 values[PNUM];
  if (!ReadParameterValues(path, values)) {
    char verdict[VERDICT_SIZE];
    std::snprintf(verdict, sizeof verdict, "%s is no parameter file: nothing taken.", path);
    SetVerdict(verdict);
    return 0;
  }
  CopyText(gFilePath, path);
  gSets[DATFILE - 1].known = true;
  for (int i = 0; i < PNUM; ++i) gSets[DATFILE - 1].values[i] = values[i];
  RefreshCompareWindow();
  SetVerdict("The file's settings are in the file column.");
  return 0;
}

int CC_BTNTake(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int place = RAM;
  GetCtrlVal(pCompare, COMPARE_RNGTakeFrom, &place);
  if (!IsPlace(place) || !gSets[place - 1].known) {
    SetVerdict("Nothing to take: that column holds no settings yet.");
    return 0;
  }
  if (place == DATFILE) {
    TakeParameterValues(gSets[place - 1].values);
  } else {
    for (int i = 0; i < PNUM; ++i) pp[i] = static_cast<u16>(gSets[place - 1].values[i]);
    CopyPPtoVars();
  }
  SetPanelValues();
  MarkDifferencesUnsent();
  RefreshCompareWindow();
  char verdict[VERDICT_SIZE];
  int unsent = 0;
  for (int i = 0; i < PNUM; ++i) unsent += SettingUnsent(i);
  std::snprintf(verdict, sizeof verdict, "The panel took the settings of the %s: %d not sent yet.",
                kPlaceNames[place - 1], unsent);
  SetVerdict(verdict);
  return 0;
}
