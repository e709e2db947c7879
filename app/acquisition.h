// The acquisition controls of the main panel: the measurement cycle, the live video loop, the
// stop button, the video threshold, and the two direct commands teach and reset.
#pragma once

/// Runs `command(argument)`, a command that needs the line. While the measurement or video loop
/// runs, the command ends it as Stop does and runs once the loop has returned and its last
/// answer is in, so the frame the command waits for is the answer to its own request.
void RunCommandOnLine(void (*command)(int), int argument);

/// Run button: on commit runs the measurement cycle until Stop or a silent sensor ends it.
int CC_BTNRun(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Video button: on commit runs the live video loop (one result frame and the 256 video words
/// per pass) until Stop or a silent sensor ends it.
int CC_BTNVideo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Stop button: a press of the mouse button or any key ends a running loop; the commit also
/// enables the two start buttons and pauses 0.2 s.
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
/// parameter set is read back.
int CC_ButtonTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
/// Reset button: resets the sensor's analog-output maximum and minimum.
int CC_ButtonReset(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
