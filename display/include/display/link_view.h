// What the sensor link reports, as the main panel shows it: the status line, the panel half
// of an identification, the start and end of a loop, and each result frame.
#pragma once

/// Shows `text` on the status line, replacing what it held.
void ShowStatus(const char* text);

/// The panel for the sensor just identified: the video graph's scale, the indicators of its
/// type (what another type showed before goes first, so a sensor never keeps its
/// predecessor's indicators), the operating-mode switch's texts, the trend's scale, and the
/// analog-output controls, dimmed for a board without an analog output.
void ShowSensorType(void);

/// Makes the sensor's RAM the parameter target, on the panel's radio buttons as well (both
/// loops do it when they start).
void SelectRamTarget(void);
/// Dims the two start buttons for a loop. When one of them holds the keyboard focus, the focus
/// goes to Stop first, so any key stops the loop (as after start-up) and no arrow key lands on
/// a setting control.
void DimStartButtons(void);

/// The measurement cycle starts: the trend replaces the video graph, the start buttons are
/// dimmed and the RAM is the parameter target.
void ShowMeasurementStarted(void);
/// The measurement cycle has ended: RUN, VIDEO and TEACH can be used again.
void ShowMeasurementEnded(void);
/// A result frame was taken: the indicators, the position bar and the trend show it.
void ShowResultFrame(void);
