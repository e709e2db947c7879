// The table that binds the callback names of the panel file to the program's functions, and
// the hooks through which the user-interface services call the program back.
#include "app/acquisition.h"
#include "app/compare.h"
#include "app/review.h"
#include "app/statistics.h"
#include "state/globals.h"
#include "app/main_panel.h"
#include "app/settings.h"
#include "app/storage.h"
#include "platform/ui/userint.h"
#include "recorder/popup.h"
#include "recorder/recfile.h"
#include "recorder/recording.h"
#include "resources/panels.h"

void RegisterCallbacks(void) {
  RegisterPanelCallback("CC_PANEL", CC_PANEL);
  // Acquisition controls.
  RegisterCtrlCallback("CC_BTNRun", CC_BTNRun);
  RegisterCtrlCallback("CC_BTNVideo", CC_BTNVideo);
  RegisterCtrlCallback("CC_BTNStop", CC_BTNStop);
  RegisterCtrlCallback("CC_NUMVideoThreshold", CC_NUMVideoThreshold);
  RegisterCtrlCallback("CC_ButtonTeach", CC_ButtonTeach);
  RegisterCtrlCallback("CC_ButtonReset", CC_ButtonReset);
  // Parameter storage targets.
  RegisterCtrlCallback("CC_RBTRam", CC_RBTRam);
  RegisterCtrlCallback("CC_RBTEeprom", CC_RBTEeprom);
  RegisterCtrlCallback("CC_RBTFile", CC_RBTFile);
  RegisterCtrlCallback("CC_BTNSend", CC_BTNSend);
  RegisterCtrlCallback("CC_BTNGet", CC_BTNGet);
  // The gauge and its statistics window.
  RegisterCtrlCallback("CC_BTNStatistics", CC_BTNStatistics);
  RegisterCtrlCallback("CC_BTNResetCounts", CC_BTNResetCounts);
  RegisterPanelCallback("CC_STATISTICS", CC_STATISTICS);
  RegisterCtrlCallback("CC_NUMlastN", CC_NUMlastN);
  RegisterCtrlCallback("CC_RNGhistogram", CC_RNGhistogram);
  RegisterCtrlCallback("CC_BTNStatCopy", CC_BTNStatCopy);
  RegisterCtrlCallback("CC_BTNStatSave", CC_BTNStatSave);
  RegisterCtrlCallback("CC_BTNStatReset", CC_BTNStatReset);
  RegisterCtrlCallback("CC_BTNStatClose", CC_BTNStatClose);
  // The review of a recorder file.
  RegisterCtrlCallback("CC_BTNReview", CC_BTNReview);
  RegisterPanelCallback("CC_REVIEW", CC_REVIEW);
  RegisterCtrlCallback("CC_BTNReviewOpen", CC_BTNReviewOpen);
  RegisterCtrlCallback("CC_ReviewChoice", CC_ReviewChoice);
  RegisterCtrlCallback("CC_BTNReviewReport", CC_BTNReviewReport);
  RegisterCtrlCallback("CC_BTNReviewSaveStats", CC_BTNReviewSaveStats);
  RegisterCtrlCallback("CC_BTNReviewClose", CC_BTNReviewClose);
  // The compare window.
  RegisterCtrlCallback("CC_BTNCompare", CC_BTNCompare);
  RegisterPanelCallback("CC_COMPARE", CC_COMPARE);
  RegisterCtrlCallback("CC_BTNReadRam", CC_BTNReadRam);
  RegisterCtrlCallback("CC_BTNReadEeprom", CC_BTNReadEeprom);
  RegisterCtrlCallback("CC_BTNOpenFile", CC_BTNOpenFile);
  RegisterCtrlCallback("CC_BTNTake", CC_BTNTake);
  RegisterCtrlCallback("CC_BTNVerify", CC_BTNVerify);
  RegisterCtrlCallback("CC_BTNCloseCompare", CC_BTNCloseCompare);
  // Setting controls.
  RegisterCtrlCallback("CC_DropDCom", CC_DropDCom);
  RegisterCtrlCallback("CC_NEDITEdgeLeft", CC_NEDITEdgeLeft);
  RegisterCtrlCallback("CC_NEDITEdgeRight", CC_NEDITEdgeRight);
  RegisterCtrlCallback("CC_NEDITTolerance", CC_NEDITTolerance);
  RegisterCtrlCallback("CC_DropHardwareMode", CC_DropHardwareMode);
  RegisterCtrlCallback("CC_RNGanaMode", CC_RNGanaMode);
  // Data recorder: the popup, its run, and the main-panel toggle that shows it.
  RegisterCtrlCallback("CC_TOGGBTN_Recorder", CC_TOGGBTN_Recorder);
  RegisterPanelCallback("CC_POPUP1", CC_POPUP1);
  RegisterCtrlCallback("CC_BTNStartRecord", CC_BTNStartRecord);
  RegisterCtrlCallback("CC_BTN_File", CC_BTN_File);
  RegisterCtrlCallback("CC_BTNStopRecord", CC_BTNStopRecord);
  RegisterCtrlCallback("CC_BTNexitRecorder", CC_BTNexitRecorder);
  RegisterCtrlCallback("CC_TBOXrecfilename", CC_TBOXrecfilename);
  RegisterCtrlCallback("CC_NUMincTime", CC_NUMincTime);
  // The services' own messages (a picture saved, a save refused) go to the status line.
  SetStatusHook([](const char* text) { ResetTextBox(pHandle, MAIN_TBOXstatus, text); });
  // No save of the services replaces the file a recording run writes into.
  SetProtectedFileHook([](const char* path) { return IsRunFile(path) ? 1 : 0; });
  // Every change the operator makes to a setting is marked unsent until it is sent.
  SetValueChangedHook(SettingValueChanged);
}
