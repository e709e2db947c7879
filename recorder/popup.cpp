// The recorder popup's callbacks and the duration display.
#include "recorder/popup.h"

#include "state/globals.h"
#include "display/panel.h"
#include "platform/ui/userint.h"
#include "platform/sys/utility.h"
#include "recorder/recfile.h"
#include "recorder/recording.h"
#include "resources/panels.h"

namespace {

constexpr int SECONDS_PER_DAY = 86400;
constexpr int SECONDS_PER_HOUR = 3600;
constexpr int SECONDS_PER_MINUTE = 60;
// An interval this long or longer leaves the planned duration as it was.
constexpr u16 LONGEST_PLANNED_INTERVAL = 3600;

constexpr const char* ACTIVE_TITLE = "ATTENTION !";
constexpr const char* ACTIVE_MESSAGE = "DATA-RECORDER is active! \nSTOP RECORDER";

// What the status box showed before a batch name was refused, so an accepted name can put
// it back: a refusal is about the name, not about the last run.
struct StatusBox {
  bool saved = false;
  int background = VAL_WHITE, textColour = VAL_BLACK, bold = 0;
  char text[TEXT_SIZE] = "";
};
StatusBox gBeforeRefusal;

void SaveStatusBox() {
  if (gBeforeRefusal.saved) return;
  GetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR, &gBeforeRefusal.background);
  GetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_COLOR, &gBeforeRefusal.textColour);
  GetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BOLD, &gBeforeRefusal.bold);
  GetCtrlVal(pPopup, RECORDER_TBOXrecstatus, gBeforeRefusal.text);
  gBeforeRefusal.saved = true;
}

void RestoreStatusBox() {
  if (!gBeforeRefusal.saved) return;
  gBeforeRefusal.saved = false;
  ShowRecStatus(gBeforeRefusal.background, gBeforeRefusal.textColour, gBeforeRefusal.bold,
                gBeforeRefusal.text);
}

void RefuseBatchName(BatchNameCheck why) {
  if (RecordingRunGoing()) {
    // The recorder box belongs to the run: its green and its texts stay, and so will its
    // outcome. The refusal is told on the main status line.
    ResetTextBox(pHandle, MAIN_TBOXstatus, BatchNameRefusal(why));
  } else {
    SaveStatusBox();
    ShowRecStatus(VAL_RED, VAL_WHITE, 1, BatchNameRefusal(why));
  }
  // The box goes back to the name in use, so what it shows is what a run will use.
  ResetTextBox(pPopup, RECORDER_TBOXrecfilename, charge_fname);
}

}  // namespace

void ForgetRecStatusBeforeRefusal(void) { gBeforeRefusal.saved = false; }

void ShowRecStatus(int background, int textColour, int bold, const char* text) {
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BGCOLOR, background);
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_COLOR, textColour);
  SetCtrlAttribute(pPopup, RECORDER_TBOXrecstatus, ATTR_TEXT_BOLD, bold);
  ResetTextBox(pPopup, RECORDER_TBOXrecstatus, text);
}

void SplitRecTime(int t, int* days, int* hours, int* minutes, int* secs) {
  *days = t / SECONDS_PER_DAY;
  t -= *days * SECONDS_PER_DAY;
  *hours = t / SECONDS_PER_HOUR;
  t -= *hours * SECONDS_PER_HOUR;
  *minutes = t / SECONDS_PER_MINUTE;
  *secs = t - *minutes * SECONDS_PER_MINUTE;
}

void CalcRecTime(int seconds) {
  int days = 0, hours = 0, minutes = 0, secs = 0;
  SplitRecTime(seconds, &days, &hours, &minutes, &secs);
  SetCtrlVal(pPopup, RECORDER_NUMtimeDay, days);
  SetCtrlVal(pPopup, RECORDER_NUMtimeHour, hours);
  SetCtrlVal(pPopup, RECORDER_NUMtimeMin, minutes);
  SetCtrlVal(pPopup, RECORDER_NUMtimeSec, secs);
}

int CC_TOGGBTN_Recorder(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int value = 0;
  GetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, &value);
  if (value == 0) {
    // Hiding does not stop a run: it goes on behind the hidden popup.
    HidePanel(pPopup);
    SetActiveCtrl(pHandle, MAIN_BTNStop);
    SetActivePanel(pHandle);
    return 0;
  }
  DisplayPanel(pPopup);
  stop_flag = 1;  // ends a measurement or video loop, or a run left going behind the popup
  SetActivePanel(pPopup);
  SetActiveCtrl(pPopup, RECORDER_FOCUS_CONTROL);
  SetGroupAttribute(pHandle, kStartButtons, ATTR_DIMMED, 0);
  SetCtrlAttribute(pHandle, MAIN_BTNStop, ATTR_DIMMED, 0);
  return 0;
}

int CC_POPUP1(int /*panel*/, int event, void*, int, int) {
  if (event != EVENT_CLOSE) return 0;
  if (stop_flag == 0) {
    if (!ConfirmPopup(ACTIVE_TITLE, ACTIVE_MESSAGE)) return 0;
    stop_flag = 1;
    SetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, 0);
    SetCtrlAttribute(pHandle, MAIN_TOGGBTN_Recorder, ATTR_DIMMED, 0);
  }
  DimmButtons(0);
  HidePanel(pPopup);
  SetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, 0);
  return 0;
}

int CC_BTN_File(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  char previous[PATH_SIZE];
  CopyText(previous, rec_fname);
  const int result = FileSelectPopup(proj_dir, DEFAULT_CHARGE, "*.dat", "K-VOR-Series Recorder-File:",
                                     0, 0, 1, 1, 1, rec_fname);
  if (result == VAL_EXISTING_FILE_SELECTED) {
    if (ConfirmPopup("ATTENTION!", "Output-File already exist! - Overwrite ?")) {
      // The file a run is recording into, under this or another name, is not deleted under
      // the run: the choice is the next run's, whose Start asks again before it overwrites.
      if (!IsRunFile(rec_fname)) DeleteFile(rec_fname);
      ResetTextBox(pPopup, RECORDER_TBOXrecpath, rec_fname);
    } else {
      // Declined: the previous file stays the recorder file, as the path box still shows.
      CopyText(rec_fname, previous);
    }
  } else if (result == VAL_NEW_FILE_SELECTED) {
    ResetTextBox(pPopup, RECORDER_TBOXrecpath, rec_fname);
  } else {
    CopyText(rec_fname, previous);
  }
  return 0;
}

int CC_TBOXrecfilename(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  char name[PATH_SIZE] = "";
  GetTextBoxLine(pPopup, RECORDER_TBOXrecfilename, 0, name);
  BatchNameCheck why = CheckBatchName(name);
  char path[PATH_SIZE];
  if (why == BATCH_OK && MakePathname(proj_dir, name, path) != 0) why = BATCH_PATH_TOO_LONG;
  if (why != BATCH_OK) {
    RefuseBatchName(why);
    return 0;
  }
  CopyText(charge_fname, name);
  CopyText(rec_fname, path);
  ResetTextBox(pPopup, RECORDER_TBOXrecpath, rec_fname);
  RestoreStatusBox();
  return 0;
}

int CC_NUMincTime(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(pPopup, RECORDER_NUMnumSample, &numSample);
  GetCtrlVal(pPopup, RECORDER_NUMincTime, &incTime);
  if (incTime < LONGEST_PLANNED_INTERVAL) {
    // At most 65535 x 3599 s, well inside a 32-bit signed count.
    CalcRecTime(static_cast<int>(static_cast<u32>(numSample) * incTime));
  }
  return 0;
}

int CC_BTNStopRecord(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event != EVENT_LEFT_CLICK) return 0;
  stop_flag = 1;
  DimmButtons(0);
  return 0;
}

int CC_BTNexitRecorder(int /*panel*/, int /*control*/, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  if (stop_flag == 0 && !ConfirmPopup(ACTIVE_TITLE, ACTIVE_MESSAGE)) return 0;
  stop_flag = 1;
  SetCtrlVal(pHandle, MAIN_TOGGBTN_Recorder, 0);
  SetCtrlAttribute(pHandle, MAIN_TOGGBTN_Recorder, ATTR_DIMMED, 0);
  SetGroupAttribute(pHandle, kLoopEndButtons, ATTR_DIMMED, 0);
  SetGroupAttribute(pHandle, kSetButtons, ATTR_DIMMED, 0);
  SetCtrlAttribute(pPopup, RECORDER_BTNStartRecord, ATTR_DIMMED, 0);
  // A run that was going ends on stop_flag and undims the rest itself.
  HidePanel(pPopup);
  return 0;
}
