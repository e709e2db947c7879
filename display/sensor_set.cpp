// What the sensor holds and what the panel has not sent: the unsent marks of the setting
// controls and the merge of a read-back with the operator's unsent values.
#include "display/sensor_set.h"

#include <cstdio>
#include <cstring>

#include "display/panel.h"
#include "link/com232_codec.h"
#include "link/com232_hooks.h"
#include "link/com232_paraset.h"
#include "platform/sys/utility.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

u16 sensorSet[PNUM] = {};
int sensorSetKnown = 0;
unsigned unsentWords = 0;
unsigned replaceUnsent = 0;

namespace {

// The control that shows each parameter word, in the order of the words (the offset has none).
constexpr int kParameterControls[PNUM] = {
    MAIN_NUMpower,    MAIN_RNGtolMode,     MAIN_NUMVideoThreshold, MAIN_RNGanaMode,
    MAIN_RNGpolarity, MAIN_RNGeMode,       MAIN_NEDITEdgeLeft,     MAIN_NEDITEdgeRight,
    MAIN_NUMtVal,     MAIN_NEDITTolerance, MAIN_BINSWopMode,       MAIN_DropHardwareMode,
    MAIN_NUMslope,    0,                   MAIN_NUMaverage,        MAIN_RNGpowMode,
};

constexpr int TOOLTIP_SIZE = 200;
constexpr int UNKNOWN_STYLE = -2;  // no colour a control can have

// What each control's colour and tooltip are now, so only a change restyles its widget.
int gShownColour[PNUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
char gShownTip[PNUM][TOOLTIP_SIZE] = {};
unsigned gRepaired = 0;
u32 gRepairedFrom[PNUM] = {};

bool Bit(unsigned set, int word) { return (set >> word) & 1u; }

void RenderWord(int word) {
  const int id = kParameterControls[word];
  if (!id) return;
  const bool repaired = Bit(gRepaired, word), unsent = Bit(unsentWords, word);
  char tip[TOOLTIP_SIZE] = "";
  size_t n = 0;
  if (repaired)
    n = static_cast<size_t>(std::snprintf(tip, sizeof tip,
                                          "The parameter file held %lu, out of range: repaired to %u.",
                                          static_cast<unsigned long>(gRepairedFrom[word]),
                                          static_cast<unsigned>(ShownWord(word))));
  if (unsent && n < sizeof tip) {
    const char* gap = n ? " " : "";
    if (sensorSetKnown)
      std::snprintf(tip + n, sizeof tip - n, "%sNot sent yet: the sensor has %u.", gap,
                    static_cast<unsigned>(sensorSet[word]));
    else
      std::snprintf(tip + n, sizeof tip - n, "%sNot sent yet: the sensor's value is not known.", gap);
  }
  const int colour = repaired ? REPAIRED_COLOUR : unsent ? UNSENT_COLOUR : -1;
  if (colour != gShownColour[word]) {
    SetCtrlAttribute(pHandle, id, ATTR_TEXT_BGCOLOR, colour);
    gShownColour[word] = colour;
  }
  if (std::strcmp(tip, gShownTip[word]) != 0) {
    SetCtrlAttribute(pHandle, id, ATTR_TOOLTIP, tip);
    CopyText(gShownTip[word], tip);
  }
}

void RenderAll() {
  for (int i = 0; i < PNUM; ++i) RenderWord(i);
}

void SetUnsent(int word, bool unsent) {
  if (unsent)
    unsentWords |= 1u << word;
  else
    unsentWords &= ~(1u << word);
}

}  // namespace

int SettingControl(int word) { return word >= 0 && word < PNUM ? kParameterControls[word] : 0; }

int SettingWord(int control) {
  if (control <= 0) return -1;
  for (int i = 0; i < PNUM; ++i)
    if (kParameterControls[i] == control) return i;
  return -1;
}

u16 ShownWord(int word) {
  const int id = SettingControl(word);
  if (!id) return intersect;  // the one word without a control
  u16 v = 0;
  GetCtrlVal(pHandle, id, &v);
  return v;
}

int SettingUnsent(int word) { return word >= 0 && word < PNUM && Bit(unsentWords, word) ? 1 : 0; }

void AssumeSensorSet(void) {
  // A panel just loaded: what its controls show is not what an earlier panel was given.
  for (int i = 0; i < PNUM; ++i) {
    gShownColour[i] = UNKNOWN_STYLE;
    CopyText(gShownTip[i], "\x01");
  }
  for (int i = 0; i < PNUM; ++i) sensorSet[i] = ShownWord(i);
  sensorSetKnown = 0;
  unsentWords = 0;
  RenderAll();
}

void NoteSensorSet(const u16 words[PNUM]) {
  for (int i = 0; i < PNUM; ++i) sensorSet[i] = words[i];
  sensorSetKnown = 1;
  unsentWords = 0;
  RenderAll();
}

void NoteSensorRam(const u16 words[PNUM]) {
  for (int i = 0; i < PNUM; ++i) {
    sensorSet[i] = words[i];
    if (ShownWord(i) == words[i]) SetUnsent(i, false);
  }
  sensorSetKnown = 1;
  RenderAll();
}

void SettingChangedOnPanel(int control) {
  const int word = SettingWord(control);
  if (word < 0) return;
  SetUnsent(word, ShownWord(word) != sensorSet[word]);
  RenderWord(word);
}

void MarkDifferencesUnsent(void) {
  for (int i = 0; i < PNUM; ++i)
    if (SettingControl(i)) SetUnsent(i, ShownWord(i) != sensorSet[i]);
  RenderAll();
}

void ShowParameterSet(int outcome) {
  // What an answer or a file may not replace keeps the operator's value: the global takes the
  // value shown, so SetPanelValues shows it again (and a later send carries it).
  const bool taken = outcome == PARAMETERS_RECEIVED || (outcome == PARAMETERS_NOT_ASKED && replaceUnsent);
  const unsigned keep = unsentWords & (taken ? ~replaceUnsent : ALL_WORDS);
  u16 received[PNUM];
  CopyVarsToPP();
  for (int i = 0; i < PNUM; ++i) received[i] = pp[i];
  for (int i = 0; i < PNUM; ++i)
    if (Bit(keep, i)) pp[i] = ShownWord(i);
  CopyPPtoVars();
  if (outcome == PARAMETERS_RECEIVED) {
    for (int i = 0; i < PNUM; ++i) sensorSet[i] = received[i];
    sensorSetKnown = 1;
  }
  SetPanelValues();
  if (outcome == PARAMETERS_NOT_ASKED && replaceUnsent) {
    MarkDifferencesUnsent();
    return;
  }
  // A kept value the sensor turns out to hold is no longer unsent; what was replaced is not.
  for (int i = 0; i < PNUM; ++i) SetUnsent(i, Bit(keep, i) && ShownWord(i) != sensorSet[i]);
  RenderAll();
}

void RenderSettingMarks(unsigned repaired, const u32 fileValues[PNUM]) {
  gRepaired = repaired;
  for (int i = 0; i < PNUM; ++i) gRepairedFrom[i] = fileValues ? fileValues[i] : 0;
  RenderAll();
}
