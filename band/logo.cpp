// The information band. It is drawn once at start-up; its texts are controls created at run
// time that the program never addresses again.
#include "band/logo.h"

#include "state/globals.h"
#include "platform/ui/userint.h"
#include "resources/panels.h"

const char* const szMakerName = "Rorir Sensor Systems Ltd.";
const char* const szMakerPhone = "Phone +00 000 000000";
const char* const szMakerWeb = "www.rorir.example";

namespace {

constexpr int BAND_BLUE = 0x0080FF;
constexpr int BAND_WHITE = 0xFFFFFF;
constexpr int BAND_GREY = 0x808080;
constexpr int NAME_SIZE = 18;
constexpr int TEXT_SIZE_SMALL = 11;
constexpr const char* BAND_FONT = "NIApp";

void ShowNameAndVersion(int bg, int fg) {
  ShowInfoText(bg, fg, szSoftName, 20, 20, NAME_SIZE);
  ShowInfoText(bg, fg, szSoftVersion, 170, 26, TEXT_SIZE_SMALL);
}

}  // namespace

void ShowInfoText(int bgColour, int textColour, const char* text, int left, int top, int pointSize) {
  int id = NewCtrl(pHandle, CTRL_TEXT_MSG, "", top, left);
  SetCtrlAttribute(pHandle, id, ATTR_TEXT_FONT, BAND_FONT);
  SetCtrlAttribute(pHandle, id, ATTR_TEXT_BGCOLOR, bgColour);
  SetCtrlAttribute(pHandle, id, ATTR_TEXT_COLOR, textColour);
  SetCtrlAttribute(pHandle, id, ATTR_TEXT_POINT_SIZE, pointSize);
  SetCtrlVal(pHandle, id, text);
}

void ShowLogo(int mode) {
  switch (mode) {
    case 0:
      SetCtrlAttribute(pHandle, MAIN_DECOlogo, ATTR_FRAME_COLOR, BAND_WHITE);
      SetCtrlAttribute(pHandle, MAIN_PICTlogo, ATTR_VISIBLE, 0);
      ShowNameAndVersion(BAND_WHITE, BAND_GREY);
      break;
    case 1:
      SetCtrlAttribute(pHandle, MAIN_DECOlogo, ATTR_FRAME_COLOR, BAND_BLUE);
      SetCtrlAttribute(pHandle, MAIN_PICTlogo, ATTR_VISIBLE, 0);
      ShowNameAndVersion(BAND_BLUE, BAND_WHITE);
      break;
    case 2:
      SetCtrlAttribute(pHandle, MAIN_DECOlogo, ATTR_FRAME_COLOR, BAND_BLUE);
      SetCtrlAttribute(pHandle, MAIN_PICTlogo, ATTR_TOP, 10);
      SetCtrlAttribute(pHandle, MAIN_PICTlogo, ATTR_LEFT, 300);
      // A missing bitmap leaves the picture empty; the rest of the band is drawn as usual.
      DisplayImageFile(pHandle, MAIN_PICTlogo, LOGO_FILE);
      ShowInfoText(BAND_BLUE, BAND_WHITE, szMakerName, 15, 10, TEXT_SIZE_SMALL);
      ShowInfoText(BAND_BLUE, BAND_WHITE, szMakerPhone, 15, 25, TEXT_SIZE_SMALL);
      ShowInfoText(BAND_BLUE, BAND_WHITE, szMakerWeb, 15, 40, TEXT_SIZE_SMALL);
      ShowInfoText(BAND_BLUE, BAND_WHITE, szSoftName, 300, 35, NAME_SIZE);
      ShowInfoText(BAND_BLUE, BAND_WHITE, szSoftVersion, 490, 40, TEXT_SIZE_SMALL);
      break;
    default:
      break;
  }
}
