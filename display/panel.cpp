// Panel binding: the setting controls of the main panel and the setting globals hold the same
// values, copied one way before a send or save and the other way after a read.
#include "display/panel.h"

#include <cstdio>

#include "display/gui.h"
#include "display/gui_math.h"
#include "display/sensor_set.h"
#include "link/com232_paraset.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

namespace {

constexpr double CURSOR_HEIGHT = 0.75;
constexpr double RANGE_TOP = 1.0;

// What the noted parameter file held, until the SetPanelValues that shows it.
u32 gFileValues[PNUM];
bool gFileNoted = false;

// The words whose shown value is not what the noted file held: the repairs of any kind, as
// the controls show them.
unsigned RepairedWords() {
  unsigned repaired = 0;
  if (!gFileNoted) return 0;
  for (int i = 0; i < PNUM; ++i)
    if (SettingControl(i) && ShownWord(i) != gFileValues[i]) repaired |= 1u << i;
  return repaired;
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
  // What a file held out of range is marked repaired; the unsent marks are the caller's.
  RenderSettingMarks(RepairedWords(), gFileValues);
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
