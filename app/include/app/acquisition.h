// The acquisition controls of the main panel: the measurement cycle, the live video loop, the
// stop button, the video threshold, and the two direct commands teach and reset.
#pragma once

/// Run button: on commit runs the measurement cycle until Stop or a silent sensor ends it (once
/// the line is free: after the exchange or loop that holds it).
int CC_BTNRun(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Video button: on commit runs the live video loop (one result frame and the 256 video words
/// per pass) until Stop or a silent sensor ends it.
int CC_BTNVideo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Stop button: a press of the mouse button or any key ends a running loop after its current
/// exchange (behind any command that already waits); the commit also enables the two start
/// buttons and pauses 0.2 s.
int CC_BTNStop(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Video threshold: on every change redraws the video curve with the new threshold line.
int CC_NUMVideoThreshold(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
/// Puts the signal check's suggested threshold into the threshold field as if the operator had
/// typed it (the threshold line follows), marked as not sent: it reaches the sensor with SEND.
/// Does nothing before the first video line.
void ApplySuggestedThreshold(void);
/// Adds "Apply suggested threshold" to the video graph's context menu (dimmed until the first
/// video line is checked): ApplySuggestedThreshold in one action.
void InstallSignalCheckMenu(void);
/// Teach button: the sensor takes its current value as setpoint; on its answer the RAM
/// parameter set is read back. During a loop it runs between two exchanges, and the loop goes on.
int CC_ButtonTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Reset button: resets the sensor's analog-output maximum and minimum.
int CC_ButtonReset(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
