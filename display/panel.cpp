// Panel binding: the setting controls of the main panel and the setting globals hold the same
// values, copied one way before a send or save and the other way after a read.
#include "display/panel.h"

#include <cstdio>

#include "display/gui.h"
#include "display/gui_math.h"
#include "link/com232_paraset.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

namespace {

constexpr double CURSOR_HEIGHT = 0.75;
constexpr double RANGE_TOP = 1.0;

// The control that shows each parameter word, in the order of the words (the offset has none).
constexpr int kParameterControls[PNUM] = {
    MAIN_NUMpower,    MAIN_RNGtolMode,     MAIN_NUMVideoThreshold, MAIN_RNGanaMode,
    MAIN_RNGpolarity, MAIN_RNGeMode,       MAIN_NEDITEdgeLeft,     MAIN_NEDITEdgeRight,
    MAIN_NUMtVal,     MAIN_NEDITTolerance, MAIN_BINSWopMode,       MAIN_DropHardwareMode,
    MAIN_NUMslope,    0,                   MAIN_NUMaverage,        MAIN_RNGpowMode,
};

// What the noted parameter file held, until the SetPanelValues that shows it.
u32 gFileValues[PNUM];
bool gFileNoted = false;
bool gRepairShown[PNUM] = {};  // the control carries a repair's tooltip

// Marks every control whose shown value is not what the file held, and unmarks the others.
// The shown value is read back from the control, so a repair of any kind counts.
void MarkRepairs(bool fromFile) {
  for (int i = 0; i < PNUM; ++i) {
    const int id = kParameterControls[i];
    if (!id) continue;
    u16 shown = 0;
    GetCtrlVal(pHandle, id, &shown);
    const bool repaired = fromFile && shown != gFileValues[i];
    char tip[128] = "";
    if (repaired)
      std::snprintf(tip, sizeof tip, "The parameter file held %lu, out of range: repaired to %u.",
                    static_cast<unsigned long>(gFileValues[i]), static_cast<unsigned>(shown));
    // Only what changes is set: each change of a control's style restyles its widget.
    int background = -1;
    GetCtrlAttribute(pHandle, id, ATTR_TEXT_BGCOLOR, &background);
    const int wanted = repaired ? REPAIRED_COLOUR : -1;
    if (background != wanted) SetCtrlAttribute(pHandle, id, ATTR_TEXT_BGCOLOR, wanted);
    if (repaired || gRepairShown[i]) SetCtrlAttribute(pHandle, id, ATTR_TOOLTIP, tip);
    gRepairShown[i] = repaired;
  }
}

}  // namespace

void GetPanelValues(void) {
  GetCtrlVal(pHandle, MAIN_NUMpower, &power);
  GetCtrlVal(pHandle, MAIN_RNGtolMode, &tolMode);
  GetCtrlVal(pHandle, MAIN_NUMVideoThreshold, &vThd);
  GetCtrlVal(pHandle, MAIN_RNGanaMode, &anaMode);
  GetCtrlVal(pHandle, MAIN_RNGpolarity, &polarity);
  GetCtrlVal(pHandle, MAIN_RNGeMode, &eMode);
  GetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, &eBeg);
  GetCtrlVal(pHandle, MAIN_NEDITEdgeRight, &eEnd);
  GetCtrlVal(pHandle, MAIN_NUMtVal, &tVal);
  GetCtrlVal(pHandle, MAIN_NEDITTolerance, &tTol);
  GetCtrlVal(pHandle, MAIN_DropHardwareMode, &eHardware);
  GetCtrlVal(pHandle, MAIN_NUMaverage, &average);
  GetCtrlVal(pHandle, MAIN_RNGpowMode, &powMode);
  GetCtrlVal(pHandle, MAIN_BINSWopMode, &opMode);
  GetCtrlVal(pHandle, MAIN_NUMslope, &slope);
}


void SetPanelValues(void) {
  RepairSettings();

  const int dimTolerance = gui_math::ToleranceUnused(eHardware) ? 1 : 0;
  SetGroupAttribute(pHandle, kToleranceGroup, ATTR_DIMMED, dimTolerance);
  const int showAnalog = gui_math::AnalogGroupShown(anaMode) ? 1 : 0;
  SetGroupAttribute(pHandle, kAnalogGroup, ATTR_VISIBLE, showAnalog);

  SetCtrlVal(pHandle, MAIN_NUMpower, power);
  SetCtrlVal(pHandle, MAIN_RNGtolMode, tolMode);
  SetCtrlVal(pHandle, MAIN_NUMVideoThreshold, vThd);
  SetCtrlVal(pHandle, MAIN_RNGanaMode, anaMode);
  SetCtrlVal(pHandle, MAIN_RNGpolarity, polarity);
  SetCtrlVal(pHandle, MAIN_RNGeMode, eMode);
  SetCtrlVal(pHandle, MAIN_NEDITEdgeLeft, eBeg);
  SetCtrlVal(pHandle, MAIN_NEDITEdgeRight, eEnd);
  SetCtrlVal(pHandle, MAIN_NUMtTol, tTol);
  SetCtrlVal(pHandle, MAIN_NUMtVal, tVal);
  SetCtrlVal(pHandle, MAIN_NEDITTolerance, tTol);
  SetCtrlVal(pHandle, MAIN_DropHardwareMode, eHardware);
  SetCtrlVal(pHandle, MAIN_NUMaverage, average);
  SetCtrlVal(pHandle, MAIN_RNGpowMode, powMode);
  SetCtrlVal(pHandle, MAIN_NUMslope, slope);
  SetCtrlVal(pHandle, MAIN_BINSWopMode, opMode);
  // Nothing stays marked unsent; what a file held out of range is marked repaired.
  MarkRepairs(gFileNoted);
  gFileNoted = false;

  for (u16& t : thdArray) t = vThd;

  SetAxisScalingMode(pHandle, MAIN_GRAPHbar, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1.0, ccdpixE);
  PlotVIDEOCurve(adcbuf, xArray8);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 2, eBeg, CURSOR_HEIGHT);
  SetGraphCursor(pHandle, MAIN_GRAPHbar, 3, eEnd, CURSOR_HEIGHT);

  // Added to what the bar already shows; the next result frame clears the bar.
  PlotRectangle(pHandle, MAIN_GRAPHbar, 0.0, 0.0, ccdmaxpixelX8, RANGE_TOP, VAL_LT_GRAY,
                VAL_LT_GRAY);
  DrawToleranceBand();
}

void NoteFileValues(const u32 values[PNUM]) {
  for (int i = 0; i < PNUM; ++i) gFileValues[i] = values[i];
  gFileNoted = true;
}

void MarkUnsent(int control, int unsent) {
  SetCtrlAttribute(pHandle, control, ATTR_TEXT_BGCOLOR, unsent ? UNSENT_COLOUR : -1);
}

void SetGroupAttribute(int panel, std::span<const int> group, int attribute, int value) {
  for (int id : group) SetCtrlAttribute(panel, id, attribute, value);
}

void DimmButtons(u16 dim) {
  const int state = dim > 0 ? 1 : 0;
  SetGroupAttribute(pHandle, kCommandButtons, ATTR_DIMMED, state);
  // RESET MAX/MIN stays as the identification left it: dimmed for a board without an analog
  // output, which has no maximum and minimum to reset.
  if (state == 0 && pcbtype != BOARD_WITH_ANALOG_OUTPUT) SetCtrlAttribute(pHandle, MAIN_ButtonReset, ATTR_DIMMED, 1);
  SetCtrlAttribute(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED, state);
}
