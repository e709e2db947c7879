// The data recorder's popup panel: showing and hiding it, the choice of the recorder file, the
// planned-duration display, the Stop and Exit buttons and the close box. The recording run
// itself is in recorder/recording.h.
#pragma once

/// Main toggle TOGGBTN_Recorder (commit): pressed shows the popup and stops any running loop;
/// released hides it and leaves a recording run going.
int CC_TOGGBTN_Recorder(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
/// Popup close box: asks before it stops a running loop, then hides the popup.
int CC_POPUP1(int panel, int event, void* callbackData, int eventData1, int eventData2);
/// File button (commit): the file dialog; an existing file chosen and confirmed is deleted,
/// except the file a run is recording into: confirmed, it only becomes the next run's file.
int CC_BTN_File(int panel, int control, int event, void* callbackData, int eventData1,
                int eventData2);
/// Batch-name box (commit): takes line 0 as the batch name and the file of the data folder.
/// A name that is not a plain file name is refused with a message and changes nothing; the
/// message goes to the recorder status box, or during a run to the main status line.
int CC_TBOXrecfilename(int panel, int control, int event, void* callbackData, int eventData1,
                       int eventData2);
/// Interval and record count (commit): takes both and shows the planned duration.
int CC_NUMincTime(int panel, int control, int event, void* callbackData, int eventData1,
                  int eventData2);
/// Stop button (left click): ends a run at the end of its current pass.
int CC_BTNStopRecord(int panel, int control, int event, void* callbackData, int eventData1,
                     int eventData2);
/// Exit button (commit): asks while a loop runs, stops it and hides the popup.
int CC_BTNexitRecorder(int panel, int control, int event, void* callbackData, int eventData1,
                       int eventData2);

/// Splits whole seconds into days, hours, minutes and seconds.
void SplitRecTime(int seconds, int* days, int* hours, int* minutes, int* secs);
/// Shows `seconds` (not negative) on the popup's four duration indicators.
void CalcRecTime(int seconds);

/// Drops what the status box showed before a batch name was refused: a run takes the box, and
/// a later accepted name must not bring the old text back over the run's outcome.
void ForgetRecStatusBeforeRefusal(void);

/// Writes `text` into the recorder status box with the given background, text colour and
/// boldness.
void ShowRecStatus(int background, int textColour, int bold, const char* text);
