// Binding of the main panel's setting controls to the setting globals.
#pragma once

#include <span>

#include "resources/panels.h"
#include "state/globals.h"

// ---- control groups of the main panel: each group is typed here once, and every place that
// ---- dims, shows or reads the group walks its table ----

/// The seven command buttons, in the order they are switched: locked together while a
/// recording runs.
inline constexpr int kCommandButtons[] = {MAIN_BTNRun, MAIN_BTNVideo, MAIN_BTNStop, MAIN_ButtonTeach,
                                          MAIN_BTNGet, MAIN_BTNSend, MAIN_ButtonReset};
/// The buttons that start a loop (VIDEO and RUN): dimmed while a loop runs.
inline constexpr int kStartButtons[] = {MAIN_BTNVideo, MAIN_BTNRun};
/// What the end of a measurement or video loop gives back: the start buttons and Teach.
inline constexpr int kLoopEndButtons[] = {MAIN_BTNVideo, MAIN_BTNRun, MAIN_ButtonTeach};
/// The buttons that move the parameter set (GET and SEND).
inline constexpr int kSetButtons[] = {MAIN_BTNGet, MAIN_BTNSend};
/// The tolerance controls: dimmed for the edge modes that evaluate without a tolerance.
inline constexpr int kToleranceGroup[] = {MAIN_NEDITTolerance, MAIN_RNGtolMode};
/// The analog maximum/minimum group: shown only for the analog modes that hold a maximum or
/// a minimum.
inline constexpr int kAnalogGroup[] = {MAIN_NUManaMax, MAIN_NUManaMin, MAIN_ButtonReset,
                                       MAIN_DECOanaMaxMin};
/// The analog-output controls: usable only on a board with an analog output.
inline constexpr int kAnalogControls[] = {MAIN_RNGanaMode, MAIN_ButtonReset, MAIN_NUManaMax,
                                          MAIN_NUManaMin};

/// Sets `attribute` of every control of `group` on `panel` to `value`, in the table's order.
void SetGroupAttribute(int panel, std::span<const int> group, int attribute, int value);

/// Reads the fifteen setting controls of the main panel into their globals, unchecked.
void GetPanelValues(void);

/// Repairs out-of-range settings in the globals, adapts the tolerance and analog-output groups,
/// writes the settings into the panel (the values a noted file held out of range are marked
/// repaired; the unsent marks are left to the caller, see sensor_set.h), refills thdArray with vThd, and redraws the video curve, the edge-window
/// cursors, the sensor range and the tolerance band.
void SetPanelValues(void);

/// Dims (dim > 0) or undims (dim == 0) the seven command buttons of the main panel and the
/// recorder's start button, so no second loop can start while a recording runs. RESET MAX/MIN
/// stays dimmed for a board without an analog output.
void DimmButtons(u16 dim);

/// Background of a setting control whose value the sensor has not received yet (sensor_set.h):
/// pale yellow until SEND or a read-back replaces it.
constexpr int UNSENT_COLOUR = 0xFFF0A0;

/// Background of a setting control whose value a parameter file held out of range (or beyond
/// 16 bits): the panel shows the repaired value, the control's tooltip what the file held.
constexpr int REPAIRED_COLOUR = 0xFFC8B4;

/// The sixteen numbers a parameter file held, in the order of the parameter words, for the
/// SetPanelValues that shows them: every setting control that then shows another value than
/// its number is marked as repaired. Taken by that one SetPanelValues; every other refill of
/// the panel clears the repair marks.
void NoteFileValues(const u32 values[PNUM]);
