// The panel half of what the sensor link reports.
#include "display/link_view.h"

#include "display/gui.h"
#include "display/panel.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"
#include "state/globals.h"

namespace {

// The label of the analog ring's second item on the panel; the gap sensor shows its own there.
constexpr const char* ANALOG_ITEM_1 = "M-value, inverted";

void SetSwitchTexts(const char* on, const char* off) {
  SetCtrlAttribute(pHandle, MAIN_BINSWopMode, ATTR_ON_TEXT, on);
  SetCtrlAttribute(pHandle, MAIN_BINSWopMode, ATTR_OFF_TEXT, off);
}

void ScaleTrendToPixels() {
  SetAxisScalingMode(pHandle, MAIN_CHARTraw, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, ccdmaxpixel);
}

}  // namespace

void ShowStatus(const char* text) { ResetTextBox(pHandle, MAIN_TBOXstatus, text); }

void ShowSensorType(void) {
  SetAxisScalingMode(pHandle, MAIN_GRAPHvideo, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1.0, ccdsubpixelReported);
  SetCtrlAttribute(pHandle, MAIN_NUMumValue, ATTR_VISIBLE, 0);
  SetCtrlAttribute(pHandle, MAIN_NUMgapPix, ATTR_VISIBLE, 0);
  SetCtrlAttribute(pHandle, MAIN_NUMedcnt, ATTR_VISIBLE, 0);
  ReplaceListItem(pHandle, MAIN_RNGanaMode, 1, ANALOG_ITEM_1, 1);
  switch (ccdtype) {
    case 1:
      SetCtrlAttribute(pHandle, MAIN_NUMumValue, ATTR_VISIBLE, 1);
      break;
    case 2:
      if (ccdresolution == 750 || ccdresolution == 350 || ccdresolution == 250) SetSwitchTexts("HI-GAIN", "LO-GAIN");
      break;
    case 3:
      SetSwitchTexts("HI-GAIN", "LO-GAIN");
      ScaleTrendToPixels();
      break;
    case 4:
      ScaleTrendToPixels();
      break;
    case 101:
      SetSwitchTexts("ADC-CNV", "DIG-CMP");
      SetCtrlAttribute(pHandle, MAIN_NUMgapPix, ATTR_VISIBLE, 1);
      SetCtrlAttribute(pHandle, MAIN_NUMedcnt, ATTR_VISIBLE, 1);
      ReplaceListItem(pHandle, MAIN_RNGanaMode, 1, "GAP-VALUE", 1);
      break;
    default:
      SetSwitchTexts("ADC-CNV", "DIG-CMP");
      break;
  }
  const int dimAnalog = pcbtype == BOARD_WITH_ANALOG_OUTPUT ? 0 : 1;
  SetGroupAttribute(pHandle, kAnalogControls, ATTR_DIMMED, dimAnalog);
}

void SelectRamTarget(void) {
  SetCtrlVal(pHandle, MAIN_RBTRam, 1);
  target = RAM;
  SetCtrlVal(pHandle, MAIN_RBTEeprom, 0);
  SetCtrlVal(pHandle, MAIN_RBTFile, 0);
}

void DimStartButtons(void) {
  const int focused = GetActiveCtrl(pHandle);
  if (focused == MAIN_BTNRun || focused == MAIN_BTNVideo) SetActiveCtrl(pHandle, MAIN_BTNStop);
  SetGroupAttribute(pHandle, kStartButtons, ATTR_DIMMED, 1);
}

void ShowMeasurementStarted(void) {
  SetCtrlAttribute(pHandle, MAIN_GRAPHvideo, ATTR_VISIBLE, 0);
  SetCtrlAttribute(pHandle, MAIN_CHARTraw, ATTR_VISIBLE, 1);
  DimStartButtons();
  SelectRamTarget();
}

void ShowMeasurementEnded(void) { SetGroupAttribute(pHandle, kLoopEndButtons, ATTR_DIMMED, 0); }

void ShowResultFrame(void) {
  PlotVIDEOBarGraph();
  PlotRAWGraphX8();
}
